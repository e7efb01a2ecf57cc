// The file a path property names, as the check finds it when it reads the
// property's line, so that the rules about it look at nothing themselves.
#pragma once

#include <string>
#include <string_view>

#include "facts/Facts.h"

// The path in a path property's element: after its first "=", up to a NUL
// byte, where execv ends the argument.
std::string propertyPath(std::string_view element);

// What stat() says about `path`; NotLooked for an empty one.
PathState pathStateOf(const std::string& path);
