// The ELF note that marks a program as this launcher and carries its
// version: how a check tells the launcher's copies from other files.
#pragma once

#include <cstdint>

constexpr char LAUNCHER_NOTE_NAME[] = "Dashvane";
constexpr std::uint32_t LAUNCHER_NOTE_TYPE = 0x4c56;  // "VL"
