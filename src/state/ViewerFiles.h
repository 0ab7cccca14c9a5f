#pragma once

// The names of the files and classes Tavori Viewer's setup puts outside its
// program directory, shared by the removal steps and the discovery of traces.

namespace kestovan::viewer {

inline constexpr const char* Handler = "Tavori Viewer Screen Saver.SCR";
inline constexpr const char* HandlerSetup = "TVIEWSCR.SCR";
inline constexpr const char* HandlerData = "TVIEWSCR.DAT";
inline constexpr const char* Wallpaper = "Tavori Viewer Wallpaper.BMP";
inline constexpr const char* ViewerImageClass = "TavoriViewer.Image";

} // namespace kestovan::viewer
