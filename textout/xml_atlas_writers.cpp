#include <charconv>
#include <cinttypes>

#include "textout/engine_data.h"
#include "textout/text_document.h"

namespace tilvane {

namespace {

// A number in its shortest form that reads back the same: "3", "-0.5", "0.25".
std::string numberText(double value) {
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, result.ptr);
}

}  // namespace

std::string formatStarlingXml(const AtlasMeta& meta, std::span<const SourceRectEntry> entries,
                              const EngineExtras& extras) {
    std::string out = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
    out += "<TextureAtlas imagePath=\"" + xmlEscaped(meta.image) + "\">\n";
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const SourceRectEntry& entry = entries[i];
        out += "\t<SubTexture name=\"" + xmlEscaped(entry.name) + "\"";
        // The region is the block in the atlas, turned or not.
        appendFormat(out, " x=\"%d\" y=\"%d\" width=\"%" PRId64 "\" height=\"%" PRId64 "\"",
                     entry.left, entry.top, entry.width, entry.height);
        if (entry.rotated) out += " rotated=\"true\"";
        const bool trimmed = entry.uprightWidth() != entry.originalSize.width ||
                             entry.uprightHeight() != entry.originalSize.height;
        if (trimmed) {
            // The frame is where the source image lies seen from the kept pixels.
            appendFormat(out, " frameX=\"%d\" frameY=\"%d\" frameWidth=\"%d\" frameHeight=\"%d\"",
                         -entry.drawOffset.x, -entry.drawOffset.y, entry.originalSize.width,
                         entry.originalSize.height);
        }
        const FrameExtras* frame = extras.frameAt(i);
        if (frame && frame->pivot) {
            out += " pivotX=\"" + numberText(frame->pivot->x * entry.originalSize.width) + "\"";
            out += " pivotY=\"" + numberText(frame->pivot->y * entry.originalSize.height) + "\"";
        }
        out += "/>\n";
    }
    return out + "</TextureAtlas>\n";
}

std::string formatCocosPlist(const AtlasMeta& meta, std::span<const SourceRectEntry> entries,
                             const EngineExtras& extras) {
    std::string out =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
        "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
        "<plist version=\"1.0\">\n<dict>\n\t<key>frames</key>\n\t<dict>\n";
    const auto key = [&out](const char* name) {
        out += "\t\t\t<key>";
        out += name;
        out += "</key>\n";
    };
    const auto string = [&out](const std::string& value) {
        out += "\t\t\t<string>" + value + "</string>\n";
    };
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const SourceRectEntry& entry = entries[i];
        const double width = static_cast<double>(entry.uprightWidth());
        const double height = static_cast<double>(entry.uprightHeight());
        const double sourceWidth = entry.originalSize.width;
        const double sourceHeight = entry.originalSize.height;
        // Cocos centres the kept pixels in the source size, then moves them by
        // the offset, its y axis pointing up.
        const double offsetX = entry.drawOffset.x + width / 2 - sourceWidth / 2;
        const double offsetY = sourceHeight / 2 - (entry.drawOffset.y + height / 2);
        const std::string size = numberText(width) + "," + numberText(height);
        out += "\t\t<key>" + xmlEscaped(entry.name) + "</key>\n\t\t<dict>\n";
        key("aliases");
        out += "\t\t\t<array/>\n";
        const FrameExtras* frame = extras.frameAt(i);
        if (frame && frame->pivot) {
            key("anchor");
            string("{" + numberText(frame->pivot->x) + "," + numberText(1 - frame->pivot->y) + "}");
        }
        key("spriteOffset");
        string("{" + numberText(offsetX) + "," + numberText(offsetY) + "}");
        key("spriteSize");
        string("{" + size + "}");
        key("spriteSourceSize");
        string("{" + numberText(sourceWidth) + "," + numberText(sourceHeight) + "}");
        key("textureRect");
        string("{{" + std::to_string(entry.left) + "," + std::to_string(entry.top) + "},{" + size +
               "}}");
        key("textureRotated");
        out += entry.rotated ? "\t\t\t<true/>\n\t\t</dict>\n" : "\t\t\t<false/>\n\t\t</dict>\n";
    }
    out += "\t</dict>\n\t<key>metadata</key>\n\t<dict>\n";
    const std::string image = xmlEscaped(meta.image);
    out += "\t\t<key>format</key>\n\t\t<integer>3</integer>\n";
    out += "\t\t<key>pixelFormat</key>\n\t\t<string>RGBA8888</string>\n";
    out += meta.premultipliedAlpha ? "\t\t<key>premultiplyAlpha</key>\n\t\t<true/>\n"
                                   : "\t\t<key>premultiplyAlpha</key>\n\t\t<false/>\n";
    out += "\t\t<key>realTextureFileName</key>\n\t\t<string>" + image + "</string>\n";
    appendFormat(out, "\t\t<key>size</key>\n\t\t<string>{%u,%u}</string>\n", meta.width,
                 meta.height);
    out += "\t\t<key>textureFileName</key>\n\t\t<string>" + image + "</string>\n";
    return out + "\t</dict>\n</dict>\n</plist>\n";
}

}  // namespace tilvane
