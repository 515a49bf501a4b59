// Removed when the compiler's first module lands.
