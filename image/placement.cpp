#include "image/placement.h"

namespace tilvane {

// PLACEHOLDER: not implemented yet.
struct OccupancyIndex::Impl {
    std::vector<Rect> rects;
};

OccupancyIndex::OccupancyIndex() : impl_(std::make_unique<Impl>()) {}
OccupancyIndex::~OccupancyIndex() = default;
OccupancyIndex::OccupancyIndex(OccupancyIndex&&) noexcept = default;
OccupancyIndex& OccupancyIndex::operator=(OccupancyIndex&&) noexcept = default;
void OccupancyIndex::clear() { impl_->rects.clear(); }
void OccupancyIndex::add(const Rect& rect) { impl_->rects.push_back(rect); }
std::size_t OccupancyIndex::size() const { return impl_->rects.size(); }

std::int32_t roundUpToGrid(std::int32_t, std::int32_t v) { return v; }

bool findPlacement(const PixelImage*, std::int32_t, std::int32_t, const OccupancyIndex&,
                   const PlacementSettings&, Rect*) {
    return false;
}

bool findPlacementReference(const PixelImage*, std::int32_t, std::int32_t,
                            const std::vector<Rect>&, const PlacementSettings&, Rect*) {
    return false;
}

}  // namespace tilvane
