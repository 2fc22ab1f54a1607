#include "cli/option_docs.h"

#include <algorithm>
#include <charconv>

namespace tilvane {

namespace {

constexpr unsigned kMostRangeChoices = 64;

// Text with every line break as a blank: the table's texts are wrapped for a
// terminal, the page and the shells wrap on their own.
std::string oneLine(std::string_view text) {
    std::string line(text);
    for (char& c : line) {
        if (c == '\n') c = ' ';
    }
    while (!line.empty() && line.back() == ' ') line.pop_back();
    return line;
}

// Text as roff prints it: a backslash is roff's escape character, a dot or a
// quote at the start of a line would start a request, and an option's leading
// dashes must be minus signs (a plain "-" may print as a hyphen, and a reader
// who copies "--width" must get two ASCII minus signs).
std::string roff(std::string_view text) {
    std::string out;
    char previous = ' ';
    for (const char c : text) {
        if (c == '\\') {
            out += "\\e";
        } else if (c == '-' && (previous == ' ' || previous == '(' || previous == '-')) {
            out += "\\-";
        } else {
            if ((c == '.' || c == '\'') && (out.empty() || out.back() == '\n')) out += "\\&";
            out += c;
        }
        previous = c;
    }
    return out;
}

// The first sentence of a meaning, for the shells' one-line descriptions.
std::string firstSentence(std::string_view meaning) {
    const std::string line = oneLine(meaning);
    const std::size_t end = line.find(". ");
    return end == std::string::npos ? line : line.substr(0, end + 1);
}

// Text inside a single-quoted shell word: bash and zsh have no escape inside
// one, so a quote ends the word, adds an escaped quote and starts a new one.
std::string singleQuoted(std::string_view text) {
    std::string out = "'";
    for (const char c : text) {
        if (c == '\'') {
            out += "'\\''";
        } else {
            out += c;
        }
    }
    return out + "'";
}

std::string joined(const std::vector<std::string>& words) {
    std::string out;
    for (const std::string& word : words) out += (out.empty() ? "" : " ") + word;
    return out;
}

}  // namespace

ValueCompletion valueCompletionOf(std::string_view valueName) {
    if (valueName.empty()) return ValueCompletion::none;
    if (valueName == "FILE") return ValueCompletion::file;
    if (valueName == "DIR") return ValueCompletion::folder;
    return valueChoices(valueName).empty() ? ValueCompletion::freeText : ValueCompletion::choices;
}

std::vector<std::string> valueChoices(std::string_view valueName) {
    std::vector<std::string> words;
    const std::size_t dots = valueName.find("..");
    if (dots != std::string_view::npos) {
        unsigned lo = 0, hi = 0;
        const char* loEnd = valueName.data() + dots;
        const char* hiEnd = valueName.data() + valueName.size();
        const auto [loStop, loError] = std::from_chars(valueName.data(), loEnd, lo);
        const auto [hiStop, hiError] = std::from_chars(loEnd + 2, hiEnd, hi);
        if (loError != std::errc() || loStop != loEnd || hiError != std::errc() ||
            hiStop != hiEnd || hi < lo || hi - lo >= kMostRangeChoices) {
            return {};
        }
        for (unsigned n = lo; n <= hi; ++n) words.push_back(std::to_string(n));
        return words;
    }
    if (valueName.find('|') == std::string_view::npos) return {};
    std::size_t start = 0;
    while (start <= valueName.size()) {
        const std::size_t bar = std::min(valueName.find('|', start), valueName.size());
        const std::string_view word = valueName.substr(start, bar - start);
        // A blank or a quote would not survive as one completion word.
        if (word.empty() || word.find_first_of(" \t'\"\\") != std::string_view::npos) return {};
        words.emplace_back(word);
        start = bar + 1;
    }
    return words;
}

std::string packManPage(const PackOptionTable& table, std::string_view version) {
    std::string page;
    page += ".TH TILVANE\\-PACK 1 \"\" \"Tilvane " + roff(version) + "\" \"User Commands\"\n";
    page += ".SH NAME\n";
    page += "tilvane\\-pack \\- pack a folder of images into a texture atlas\n";
    page += ".SH SYNOPSIS\n";
    page += ".B tilvane\\-pack\n";
    page += ".RI [ OPTION ]...\n";
    page += ".SH DESCRIPTION\n";
    page += roff(oneLine(table.summary)) + "\n";
    page += ".PP\n";
    page += roff(
        "It starts from the defaults, reads --settings FILE (the settings file of the desktop "
        "dialog, tilvane(1)) and then applies the other options in any order; a repeated "
        "option's last value wins. It never creates a folder. Messages go to standard error, "
        "one line each; \"Total images added: N\" goes to standard output; progress is drawn "
        "only when both are a terminal, and never with --quiet.");
    page += "\n.SH OPTIONS\n";
    for (const PackOptionInfo& option : table.options) {
        page += ".TP\n\\fB" + roff(option.name) + "\\fR";
        if (!option.valueName.empty()) page += " \\fI" + roff(option.valueName) + "\\fR";
        // Appended piece by piece: "\n" + string trips GCC 12's -Wrestrict at -O3.
        page += '\n';
        page += roff(oneLine(option.meaning));
        page += '\n';
        if (!option.defaultText.empty()) {
            page += "Default: " + roff(option.defaultText) + ".\n";
        }
    }
    page += ".SH EXIT STATUS\n";
    page += roff(oneLine(table.footer)) + "\n";
    page += ".SH EXAMPLE\n";
    page += ".nf\n";
    page += roff("mkdir -p out\n");
    page += roff("tilvane-pack --input sprites/ --image out/atlas.png --text out/atlas.json \\\n");
    page += roff("    --width 1024 --height 1024 --crop 1 --sort size\n");
    page += ".fi\n";
    page += ".SH SEE ALSO\n";
    page += ".BR tilvane (1)\n";
    return page;
}

std::string packBashCompletion(const PackOptionTable& table) {
    std::vector<std::string> names, files, folders, values;
    std::string choiceCases;
    for (const PackOptionInfo& option : table.options) {
        names.push_back(option.name);
        switch (valueCompletionOf(option.valueName)) {
            case ValueCompletion::none:
                break;
            case ValueCompletion::file:
                files.push_back(option.name);
                break;
            case ValueCompletion::folder:
                folders.push_back(option.name);
                break;
            case ValueCompletion::choices:
                choiceCases += "        " + option.name +
                               ") words=" + singleQuoted(joined(valueChoices(option.valueName))) +
                               " ;;\n";
                break;
            case ValueCompletion::freeText:
                values.push_back(option.name);
                break;
        }
    }
    const auto alternatives = [](const std::vector<std::string>& options) {
        std::string out;
        for (const std::string& name : options) out += (out.empty() ? "" : "|") + name;
        return out;
    };
    std::string script =
        "# bash completion for tilvane-pack, made from its option table.\n"
        "_tilvane_pack() {\n"
        "    local cur=${COMP_WORDS[COMP_CWORD]} prev= words=\n"
        "    ((COMP_CWORD > 0)) && prev=${COMP_WORDS[COMP_CWORD - 1]}\n"
        "    # \"=\" breaks words: --sort=si arrives as --sort, =, si.\n"
        "    if [[ $cur == = ]]; then\n"
        "        cur=\n"
        "    elif [[ $prev == = ]] && ((COMP_CWORD > 1)); then\n"
        "        prev=${COMP_WORDS[COMP_CWORD - 2]}\n"
        "    fi\n"
        "    COMPREPLY=()\n"
        "    case $prev in\n";
    // Options taking a path: compgen -f offers files, -d folders.
    for (const auto& [paths, kind] : {std::pair{&files, "-f"}, std::pair{&folders, "-d"}}) {
        if (paths->empty()) continue;
        script += "        " + alternatives(*paths) +
                  ")\n"
                  "            compopt -o filenames 2>/dev/null\n"
                  "            mapfile -t COMPREPLY < <(compgen " +
                  kind +
                  " -- \"$cur\")\n"
                  "            return ;;\n";
    }
    if (!values.empty()) script += "        " + alternatives(values) + ") return ;;\n";
    script += choiceCases;
    script += "        *) words=" + singleQuoted(joined(names)) +
              " ;;\n"
              "    esac\n"
              "    mapfile -t COMPREPLY < <(compgen -W \"$words\" -- \"$cur\")\n"
              "}\n"
              "complete -F _tilvane_pack tilvane-pack\n";
    return script;
}

std::string packZshCompletion(const PackOptionTable& table) {
    std::string script =
        "#compdef tilvane-pack\n"
        "# zsh completion for tilvane-pack, made from its option table.\n"
        "_arguments -S";
    for (const PackOptionInfo& option : table.options) {
        // _arguments reads "[", "]" and ":" in a description as its own syntax.
        std::string description;
        for (const char c : firstSentence(option.meaning)) {
            if (c == '[' || c == ']' || c == ':' || c == '\\') description += '\\';
            description += c;
        }
        std::string entry = option.name;
        const ValueCompletion kind = valueCompletionOf(option.valueName);
        // "=" takes the value both as the next word and after "=".
        if (kind != ValueCompletion::none) entry += "=";
        entry += "[" + description + "]";
        switch (kind) {
            case ValueCompletion::none:
                break;
            case ValueCompletion::file:
                entry += ":file:_files";
                break;
            case ValueCompletion::folder:
                entry += ":folder:_files -/";
                break;
            case ValueCompletion::choices:
                entry +=
                    ":" + option.valueName + ":(" + joined(valueChoices(option.valueName)) + ")";
                break;
            case ValueCompletion::freeText:
                entry += ":" + option.valueName + ": ";
                break;
        }
        script += " \\\n    " + singleQuoted(entry);
    }
    return script + "\n";
}

std::string packFishCompletion(const PackOptionTable& table) {
    // Options take no file names unless one says so.
    std::string script =
        "# fish completion for tilvane-pack, made from its option table.\n"
        "complete -c tilvane-pack -f\n";
    for (const PackOptionInfo& option : table.options) {
        const bool longName = option.name.rfind("--", 0) == 0;
        std::string line = "complete -c tilvane-pack " + std::string(longName ? "-l " : "-o ") +
                           option.name.substr(longName ? 2 : 1);
        switch (valueCompletionOf(option.valueName)) {
            case ValueCompletion::none:
                break;
            case ValueCompletion::file:
                line += " -r -F";
                break;
            case ValueCompletion::folder:
                line += " -x -a '(__fish_complete_directories (commandline -ct))'";
                break;
            case ValueCompletion::choices:
                line += " -x -a " + singleQuoted(joined(valueChoices(option.valueName)));
                break;
            case ValueCompletion::freeText:
                line += " -x";
                break;
        }
        // fish reads \' and \\ inside single quotes.
        std::string description;
        for (const char c : firstSentence(option.meaning)) {
            if (c == '\'' || c == '\\') description += '\\';
            description += c;
        }
        script += line + " -d '" + description + "'\n";
    }
    return script;
}

}  // namespace tilvane
