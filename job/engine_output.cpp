#include "job/engine_output.h"

#include <algorithm>
#include <filesystem>
#include <system_error>
#include <unordered_map>

#include "textout/engine_data.h"
#include "textout/entry_names.h"
#include "textout/source_rects.h"

#ifndef TILVANE_VERSION
#define TILVANE_VERSION "unknown"
#endif

namespace tilvane {

namespace {

std::string slashesToUnderscores(std::string_view name) {
    std::string out(name);
    std::replace(out.begin(), out.end(), '/', '_');
    return out;
}

// The image's path as seen from the text file's folder; the bare file name
// when that cannot be worked out.
std::string imageRelativeToText(const std::string& imageFile, const std::string& textFile) {
    namespace fs = std::filesystem;
    const fs::path image(imageFile);
    std::error_code ec;
    const fs::path absoluteImage = fs::absolute(image, ec).lexically_normal();
    if (ec) return image.filename().string();
    const fs::path textFolder =
        fs::absolute(fs::path(textFile), ec).lexically_normal().parent_path();
    if (ec) return image.filename().string();
    const fs::path relative = absoluteImage.lexically_relative(textFolder);
    return relative.empty() ? image.filename().string() : relative.generic_string();
}

}  // namespace

std::string dataNameOf(std::string_view fileName, const JobSettings& settings, DataFormat format) {
    switch (format) {
        case DataFormat::jsonHash:
        case DataFormat::jsonArray:
            return jsonFrameKey(fileName);
        case DataFormat::gdx:
            return gdxRegionName(fileName);
        case DataFormat::byExtension:
            break;
    }
    return entryNameOf(slashesToUnderscores(fileName), settings.changeCase);
}

void prepareDataNames(const JobSettings& settings, DataFormat format, BuildRun& run) {
    std::unordered_map<std::string, std::size_t> firstWithName;
    for (std::size_t i = 0; i < run.placedNames.size(); ++i) {
        const std::string& fileName = run.placedNames[i];
        std::string name = dataNameOf(fileName, settings, format);
        bool valid = true;
        if (format != DataFormat::byExtension) validUtf8(fileName, &valid);
        if (!valid) run.notes.notUtf8.push_back(fileName);
        const auto [it, inserted] = firstWithName.emplace(name, i);
        if (!inserted) {
            run.notes.collisions.push_back(
                {run.placedNames[it->second], fileName, std::move(name)});
        }
    }
    if (format == DataFormat::byExtension) {
        for (std::string& name : run.placedNames) name = slashesToUnderscores(name);
    }
}

std::optional<std::string> engineDocument(DataFormat format, const BuildRun& run, Size atlas,
                                          std::vector<std::string> relatedPages,
                                          bool premultipliedAlpha) {
    if (format == DataFormat::byExtension) return std::nullopt;
    const auto entries = sourceRectEntries(run, EntryUse::withFileValues);
    if (!entries) return std::nullopt;
    AtlasMeta meta;
    meta.image = imageRelativeToText(run.imageFile, run.textFile);
    meta.width = static_cast<std::uint32_t>(atlas.width);
    meta.height = static_cast<std::uint32_t>(atlas.height);
    meta.relatedPages = std::move(relatedPages);
    meta.version = TILVANE_VERSION;
    meta.scale = run.scale;
    meta.premultipliedAlpha = premultipliedAlpha;
    switch (format) {
        case DataFormat::jsonHash:
            return formatJsonHash(meta, *entries);
        case DataFormat::jsonArray:
            return formatJsonArray(meta, *entries);
        default:
            return formatGdxAtlas(meta, *entries);
    }
}

}  // namespace tilvane
