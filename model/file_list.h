#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tilvane {

// The build's list of file names, each with a data value (its file index). It
// keeps itself sorted by name without regard to ASCII case, byte order breaking
// ties, so the position of a name follows from the order, not from when it was
// added. The main window's list box shows it.
class FileList {
public:
    struct Entry {
        std::string name;
        std::int32_t value = 0;
    };

    void reset() { entries_.clear(); }
    // The position the name went to, or empty when the list cannot take it.
    // A new entry's value is 0.
    std::optional<int> add(std::string_view name);
    bool setValue(int position, std::int32_t value);
    // The value at a position; 0 for a position out of range.
    std::int32_t value(int position) const;
    int count() const { return static_cast<int>(entries_.size()); }
    // The name at a position; empty for a position out of range.
    std::string text(int position) const;
    void remove(int position);
    // The first position, from the front, whose value equals the given one.
    std::optional<int> findValue(std::int32_t value) const;

    const std::vector<Entry>& entries() const { return entries_; }

private:
    bool valid(int position) const { return position >= 0 && position < count(); }
    std::vector<Entry> entries_;
};

// The list's order: ASCII case ignored, then plain byte order.
bool fileNameLess(std::string_view a, std::string_view b);

// The lines in the order a sorted list box shows them (fileNameLess, equal
// lines in their given order); the Report's failure lines are shown so.
std::vector<std::string> sortedAsListBox(std::vector<std::string> lines);

}  // namespace tilvane
