#pragma once

// The window's layout in both modes: the group that shows stands at the
// top, the other is pushed below the window's edge.
namespace orvex::layout {

inline constexpr int kModeHeight = 335;  // outer height in both modes
inline constexpr int kActiveGroupTop = 24;
inline constexpr int kInactiveGroupTop = 304;
inline constexpr int kBrowserTop = 71;

} // namespace orvex::layout
