#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tilvane {

// Why a path cannot be named in a dependency file that both Ninja and GNU Make
// read back as the same path, or nothing when it can. Ninja's depfile reader
// ends a name at a control character and at any of " & ' * ; < > ? ^ ` |, has
// no way to write a name that ends in ':' or '\', and keeps a '\' before a '$'
// so that the '$' ends the name; Make takes '=' for a variable's assignment
// and '%' for a pattern. Those paths are refused rather than written as
// something that would name another file. An empty path is refused too.
std::optional<std::string> depfileNameProblem(std::string_view path);

// The path as a depfile spells it: '$' as "$$", '#' and ':' after a '\', a
// space after its backslashes doubled and one more (so that N backslashes
// before a space come back as N). Only for a path depfileNameProblem accepts.
std::string escapeDepfileName(std::string_view path);

// A Make rule with every target before the colon and every prerequisite after
// it, one name a line ("out.png out.json: \\\n  in/a.png \\\n  in/b.png\n"),
// then an empty rule for each prerequisite, so that Make does not stop when
// one has gone (a removed sprite) but rebuilds. Ninja reads the same text
// (with `deps = gcc` or a plain `depfile`, whose first target must be the
// build statement's first output). Names are escaped by escapeDepfileName, in
// the order given, repeated ones once.
std::string formatDepfile(const std::vector<std::string>& targets,
                          const std::vector<std::string>& prerequisites);

}  // namespace tilvane
