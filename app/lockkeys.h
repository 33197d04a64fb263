#pragma once

#include <optional>

// The state of the three lock keys, where the platform lets a program read it
// (X11 through XKB). Nothing elsewhere.
struct LockKeyState
{
    bool caps = false;
    bool num = false;
    bool scroll = false;
};

std::optional<LockKeyState> ReadLockKeys();
