// The words several families of rules share in their messages.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "facts/AccessJudge.h"
#include "model/Catalogue.h"

// What the child prints when execv fails.
extern const std::string LAUNCH_FAILED;

// The bytes between quotes, every one of them made visible.
std::string quoted(std::string_view bytes);

// "the line after it is", "the 3 lines after it are".
std::string linesAfter(std::size_t count);

// `joiner` and "the 3 lines after it are ignored"; "" when none follows.
std::string linesIgnoredAfter(const std::string& joiner, std::size_t count);

// Why the path judged fails the user: the words after its name in a
// message. "does not exist" is kept for ENOENT alone; `denied` is said when
// the permission itself is missing.
std::string accessProblem(const AccessVerdict& verdict, const std::string& user,
                          const std::string& denied);

// The kind for a cause that no one operation owns; `fallback` otherwise.
KindId accessKind(const AccessVerdict& verdict, KindId fallback);
