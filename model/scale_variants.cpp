#include "model/scale_variants.h"

#include <set>

#include "image/resample.h"
#include "model/number_text.h"

namespace tilvane {

std::optional<std::string> scaleRefusal(double scale) {
    if (scale > 0 && scale <= kMaxScale) return std::nullopt;
    return "a scale is above 0 and at most " + decimalText(kMaxScale);
}

std::optional<std::string> suffixRefusal(std::string_view suffix) {
    if (suffix.find('/') != std::string_view::npos) {
        return std::string("a suffix must not hold a \"/\": the files stay in the folders given");
    }
    if (suffix.find(',') != std::string_view::npos) {
        return std::string("a suffix must not hold a \",\", which separates variants");
    }
    for (const char c : suffix) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
            return std::string("a suffix must not hold a control character");
        }
    }
    return std::nullopt;
}

std::optional<std::string> readScaleVariant(std::string_view text, ScaleVariant& variant) {
    const std::size_t colon = text.rfind(':');
    const std::optional<double> scale = colon == std::string_view::npos
                                            ? std::nullopt
                                            : parseDecimalFraction(text.substr(colon + 1));
    if (!scale) return std::string("a variant is a suffix, a colon and a scale such as 0.5");
    if (auto why = scaleRefusal(*scale)) return why;
    if (auto why = suffixRefusal(text.substr(0, colon))) return why;
    variant = {std::string(text.substr(0, colon)), *scale};
    return std::nullopt;
}

std::optional<std::string> readScaleVariants(std::string_view text,
                                             std::vector<ScaleVariant>& variants) {
    std::vector<ScaleVariant> read;
    std::set<std::string> suffixes;
    for (std::size_t start = 0; !text.empty() && start <= text.size();) {
        const std::size_t comma = std::min(text.find(',', start), text.size());
        const std::string_view one = text.substr(start, comma - start);
        ScaleVariant variant;
        if (const auto why = readScaleVariant(one, variant)) {
            // In a list, which of them.
            return one.size() == text.size() ? *why : "\"" + std::string(one) + "\": " + *why;
        }
        if (!suffixes.insert(variant.suffix).second) {
            return "the suffix \"" + variant.suffix + "\" is given twice";
        }
        read.push_back(std::move(variant));
        start = comma + 1;
    }
    variants = std::move(read);
    return std::nullopt;
}

std::string scaleVariantsText(const std::vector<ScaleVariant>& variants) {
    std::string text;
    for (const ScaleVariant& variant : variants) {
        text += (text.empty() ? "" : ",") + variant.suffix + ":" + decimalText(variant.scale);
    }
    return text;
}

std::optional<std::string> scaleVariantsRefusal(const BuildExtras& extras) {
    if (const auto why = scaleRefusal(extras.scale)) return "--scale: " + *why;
    if (extras.variants.empty()) return std::nullopt;
    if (extras.scale != 1) {
        return std::string("--scale and --variant do not go together: each variant has its scale");
    }
    if (!extras.keepLayoutFile.empty()) {
        return std::string(
            "--keep-layout and --variant do not go together: a layout file holds one atlas");
    }
    std::set<std::string> suffixes;
    for (const ScaleVariant& variant : extras.variants) {
        if (const auto why = scaleRefusal(variant.scale)) return "--variant: " + *why;
        if (const auto why = suffixRefusal(variant.suffix)) return "--variant: " + *why;
        if (!suffixes.insert(variant.suffix).second) {
            return "--variant: the suffix \"" + variant.suffix + "\" is given twice";
        }
    }
    return std::nullopt;
}

}  // namespace tilvane
