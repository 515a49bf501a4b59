// Removed when the engine's first module lands.
