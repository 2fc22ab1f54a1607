#pragma once

#include <gtest/gtest.h>
#include <libxml/parser.h>
#include <libxml/tree.h>

#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "model/build_run.h"
#include "model/job_settings.h"
#include "textout/text_writers.h"

namespace tilvane::testing {

using Formatter = std::optional<std::string> (*)(const JobSettings&,
                                                 std::span<const SourceRectEntry>);

inline const char* const kOutputImage = "/images/output/final.png";

// Settings at their defaults with the output image path the examples use.
inline JobSettings exampleSettings() {
    JobSettings settings;
    settings.outputImageFile = kOutputImage;
    return settings;
}

// hero.png, 40 x 20, trimmed to 32 x 16 from column 3, row 2, placed at 0, 0.
inline BuildRun heroRun() {
    BuildRun run;
    run.originalSizes = {{40, 20}};
    run.cropRects = {{3, 2, 34, 17}};
    run.trimOffsets = {{3, 2}};
    run.placedRects = {{0, 0, 31, 15}};
    run.occupiedRects = {{0, 0, 32, 16}};
    run.placedNames = {"hero.png"};
    run.placedFileIndices = {0};
    return run;
}

// heroRun's hero, then coin.png (8 x 8, untrimmed) at 64, 16. coin is file 0
// and hero file 1, so entry order and file order differ.
inline BuildRun heroAndCoinRun() {
    BuildRun run;
    run.originalSizes = {{8, 8}, {40, 20}};
    run.cropRects = {{0, 0, 7, 7}, {3, 2, 34, 17}};
    run.trimOffsets = {{0, 0}, {3, 2}};
    run.placedRects = {{0, 0, 31, 15}, {64, 16, 71, 23}};
    run.occupiedRects = {{0, 0, 32, 16}, {64, 16, 72, 24}};
    run.placedNames = {"hero.png", "coin.png"};
    run.placedFileIndices = {1, 0};
    return run;
}

// hero.png (32 x 16) at 0, 0 and coin-big.png (8 x 8) at 33, 0, untrimmed.
inline BuildRun heroAndCoinBigRun() {
    BuildRun run;
    run.originalSizes = {{32, 16}, {8, 8}};
    run.cropRects = {{0, 0, 31, 15}, {0, 0, 7, 7}};
    run.trimOffsets = {{0, 0}, {0, 0}};
    run.placedRects = {{0, 0, 31, 15}, {33, 0, 40, 7}};
    run.occupiedRects = {{0, 0, 32, 16}, {33, 0, 41, 8}};
    run.placedNames = {"hero.png", "coin-big.png"};
    run.placedFileIndices = {0, 1};
    return run;
}

inline BuildRun emptyRun() {
    return BuildRun{};
}

// The ids of a JSON document, read by a real JSON parser; fails the test when
// the text is not valid JSON.
inline std::vector<std::string> jsonIds(const std::string& text) {
    std::vector<std::string> ids;
    const nlohmann::json document = nlohmann::json::parse(text, nullptr, false);
    EXPECT_FALSE(document.is_discarded()) << "not valid JSON:\n" << text;
    if (!document.is_array()) return ids;
    for (const auto& object : document) ids.push_back(object.value("id", std::string("<none>")));
    return ids;
}

// The id attributes of the image elements, read by libxml2; fails the test when
// the text is not well-formed XML.
inline std::vector<std::string> xmlIds(const std::string& text) {
    std::vector<std::string> ids;
    const std::unique_ptr<xmlDoc, decltype(&xmlFreeDoc)> document(
        xmlReadMemory(text.data(), static_cast<int>(text.size()), "rects.xml", nullptr,
                      XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING),
        &xmlFreeDoc);
    EXPECT_NE(document, nullptr) << "not well-formed XML:\n" << text;
    if (!document) return ids;
    const xmlNode* root = xmlDocGetRootElement(document.get());
    EXPECT_STREQ(reinterpret_cast<const char*>(root->name), "root");
    for (const xmlNode* node = root->children; node; node = node->next) {
        if (node->type != XML_ELEMENT_NODE) continue;
        xmlChar* id = xmlGetProp(node, reinterpret_cast<const xmlChar*>("id"));
        ids.push_back(id ? reinterpret_cast<const char*>(id) : "<none>");
        xmlFree(id);
    }
    return ids;
}

// The writer's document for the run, with the entries taken from the run as
// the build takes them; empty when the run's lists or the writer refuse. Every
// JSON or XML document goes through the matching parser.
inline std::optional<std::string> format(Formatter formatter, const JobSettings& settings,
                                         const BuildRun& run) {
    const bool json = formatter == formatJsonRects;
    const bool xml = formatter == formatXmlRects;
    const auto entries =
        sourceRectEntries(run, json || xml ? EntryUse::withFileValues : EntryUse::rectsOnly);
    if (!entries) return std::nullopt;
    std::optional<std::string> text = formatter(settings, *entries);
    if (text && json) jsonIds(*text);
    if (text && xml) xmlIds(*text);
    return text;
}

}  // namespace tilvane::testing
