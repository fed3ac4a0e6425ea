#pragma once

// Removes the web engine's cache and profile folders left by earlier runs, so that a web
// application updated on the instrument is never shown from a stale cache.
void removeWebEngineFolders();
