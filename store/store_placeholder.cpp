// Removed when the first window lands.
