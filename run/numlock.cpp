#include "run/numlock.h"

#include <QGuiApplication>

#include <dlfcn.h>

namespace kelvo {

namespace {

// The few XKB entries of libX11 needed here, with their C signatures.
struct XkbEntries {
    using OpenDisplay = void* (*)(const char*);
    using CloseDisplay = int (*)(void*);
    using Flush = int (*)(void*);
    using KeysymToModifiers = unsigned int (*)(void*, unsigned long);
    using LockModifiers = int (*)(void*, unsigned int, unsigned int, unsigned int);

    OpenDisplay openDisplay = nullptr;
    CloseDisplay closeDisplay = nullptr;
    Flush flush = nullptr;
    KeysymToModifiers keysymToModifiers = nullptr;
    LockModifiers lockModifiers = nullptr;

    bool complete() const
    {
        return openDisplay && closeDisplay && flush && keysymToModifiers && lockModifiers;
    }
};

constexpr unsigned long kNumLockKeysym = 0xff7f;
constexpr unsigned int kUseCoreKeyboard = 0x0100;

const XkbEntries& LoadXkb()
{
    static const XkbEntries entries = [] {
        XkbEntries found;
        void* library = dlopen("libX11.so.6", RTLD_LAZY | RTLD_LOCAL);
        if (!library)
            return found;
        found.openDisplay = reinterpret_cast<XkbEntries::OpenDisplay>(dlsym(library, "XOpenDisplay"));
        found.closeDisplay = reinterpret_cast<XkbEntries::CloseDisplay>(dlsym(library, "XCloseDisplay"));
        found.flush = reinterpret_cast<XkbEntries::Flush>(dlsym(library, "XFlush"));
        found.keysymToModifiers =
            reinterpret_cast<XkbEntries::KeysymToModifiers>(dlsym(library, "XkbKeysymToModifiers"));
        found.lockModifiers = reinterpret_cast<XkbEntries::LockModifiers>(dlsym(library, "XkbLockModifiers"));
        return found;  // the library stays loaded for the program's life
    }();
    return entries;
}

}  // namespace

void ForceNumLockOn()
{
    if (QGuiApplication::platformName() != QLatin1String("xcb"))
        return;
    const XkbEntries& xkb = LoadXkb();
    if (!xkb.complete())
        return;
    void* display = xkb.openDisplay(nullptr);
    if (!display)
        return;
    // Locking the modifier on is what pressing the key does when it is off, and
    // nothing when it is already on.
    const unsigned int mask = xkb.keysymToModifiers(display, kNumLockKeysym);
    if (mask != 0)
        xkb.lockModifiers(display, kUseCoreKeyboard, mask, mask);
    xkb.flush(display);
    xkb.closeDisplay(display);
}

}  // namespace kelvo
