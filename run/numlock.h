#pragma once
// Switches NumLock on, so that the keypad types the digits that select answers. Only on
// an X11 display, through XKB in libX11 loaded when first needed; elsewhere (Wayland,
// offscreen) and when the library is missing it does nothing.

namespace kelvo {

void ForceNumLockOn();

}  // namespace kelvo
