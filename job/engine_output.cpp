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
        case DataFormat::phaserMulti:
            return jsonFrameKey(fileName);
        case DataFormat::gdx:
            return gdxRegionName(fileName);
        case DataFormat::starling:
        case DataFormat::cocos:
            return xmlFrameName(fileName);
        case DataFormat::byExtension:
            break;
    }
    return entryNameOf(slashesToUnderscores(fileName), settings.changeCase);
}

bool writesAnimations(DataFormat format) {
    return format == DataFormat::jsonHash || format == DataFormat::jsonArray ||
           format == DataFormat::gdx;
}

namespace {

// The animations the run's current page writes; none unless asked for.
std::vector<Animation> animationsOf(const BuildExtras& extras, const BuildRun& run) {
    if (!extras.animations || !writesAnimations(extras.format)) return {};
    std::vector<SourceRectEntry> named(run.placedNames.size());
    for (std::size_t i = 0; i < named.size(); ++i) named[i].name = run.placedNames[i];
    return findAnimations(named);
}

}  // namespace

void prepareDataNames(const JobSettings& settings, const BuildExtras& extras, BuildRun& run) {
    const DataFormat format = extras.format;
    const std::vector<Animation> animations = animationsOf(extras, run);
    // A libGDX frame of an animation is told apart by its number alone.
    std::vector<std::string> sequenceNames(run.placedNames.size());
    std::vector<bool> inAnimation(run.placedNames.size(), false);
    for (const Animation& animation : animations) {
        for (const std::size_t i : animation.frames) {
            inAnimation[i] = true;
            if (format != DataFormat::gdx) continue;
            if (const auto numbered = numberedName(run.placedNames[i])) {
                sequenceNames[i] =
                    gdxName(animation.name) + " (index " + std::to_string(numbered->number) + ")";
            }
        }
    }
    std::unordered_map<std::string, std::size_t> firstWithName;
    for (std::size_t i = 0; i < run.placedNames.size(); ++i) {
        const std::string& fileName = run.placedNames[i];
        std::string name =
            sequenceNames[i].empty() ? dataNameOf(fileName, settings, format) : sequenceNames[i];
        bool valid = true;
        if (format != DataFormat::byExtension) validUtf8(fileName, &valid);
        if (!valid) run.notes.notUtf8.push_back(fileName);
        const auto [it, inserted] = firstWithName.emplace(name, i);
        if (!inserted) {
            run.notes.collisions.push_back(
                {run.placedNames[it->second], fileName, std::move(name)});
        }
    }
    for (const Animation& animation : animations) {
        const std::string name = gdxName(animation.name);
        for (std::size_t i = 0; i < run.placedNames.size(); ++i) {
            if (!inAnimation[i] && gdxRegionName(run.placedNames[i]) == name) {
                run.notes.animationClashes.push_back({run.placedNames[animation.frames.front()],
                                                      run.placedNames[i],
                                                      validUtf8(animation.name)});
            }
        }
    }
    if (format == DataFormat::byExtension) {
        for (std::string& name : run.placedNames) name = slashesToUnderscores(name);
    }
}

std::optional<std::string> engineDocument(const BuildExtras& extras, const BuildRun& run,
                                          Size atlas, std::vector<std::string> relatedPages) {
    const DataFormat format = extras.format;
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
    meta.premultipliedAlpha = extras.premultiply;
    EngineExtras engine;
    engine.animations = animationsOf(extras, run);
    engine.scale = run.scale;
    if (extras.pivot || !run.spriteData.empty()) {
        engine.frames.resize(entries->size());
        for (std::size_t i = 0; i < entries->size(); ++i) {
            FrameExtras& frame = engine.frames[i];
            const auto given = run.spriteData.find((*entries)[i].name);
            if (given != run.spriteData.end()) {
                frame.pivot = given->second.pivot;
                frame.borders = given->second.borders;
            }
            if (!frame.pivot) frame.pivot = extras.pivot;
        }
    }
    switch (format) {
        case DataFormat::jsonHash:
            return formatJsonHash(meta, *entries, engine);
        case DataFormat::jsonArray:
            return formatJsonArray(meta, *entries, engine);
        case DataFormat::phaserMulti:
            return phaserTextureEntry(meta, *entries, engine);
        case DataFormat::starling:
            return formatStarlingXml(meta, *entries, engine);
        case DataFormat::cocos:
            return formatCocosPlist(meta, *entries, engine);
        default:
            return formatGdxAtlas(meta, *entries, engine);
    }
}

std::string multiAtlasDocument(const BuildRun& run) {
    AtlasMeta meta;
    meta.version = TILVANE_VERSION;
    return formatPhaserMulti(meta, run.textureEntries);
}

}  // namespace tilvane
