// The editor's images: each painter returns a new ARGB32 surface holding the whole image
// (all frames stacked vertically) that the caller writes out and destroys.
#pragma once

#include <cairo.h>

#include "tools/artwork/Paint.h"

namespace artwork {

// One palette for the whole panel.
namespace palette {
inline constexpr Colour kPanelTop = rgb(0x2A2E34);
inline constexpr Colour kPanelBottom = rgb(0x1C1F23);
inline constexpr Colour kLabel = rgb(0xB4BCC6);
inline constexpr Colour kLabelDim = rgb(0x7E8791);
inline constexpr Colour kScale = rgb(0x8D96A0);
inline constexpr Colour kAccent = rgb(0x4FC3F7);     // controls: knob travel, lit switch
inline constexpr Colour kReduction = rgb(0xFF9A1F);  // gain-reduction lamps
inline constexpr Colour kHold = rgb(0xFFE27A);       // peak-hold lamp
inline constexpr Colour kMeterLow = rgb(0x37D39A);   // level bars below -6 dB
inline constexpr Colour kMeterMid = rgb(0xFFC93C);   // -6 .. -3 dB
inline constexpr Colour kMeterHigh = rgb(0xFF4D3D);  // -3 .. 0 dB
inline constexpr Colour kSocket = rgb(0x30353C);     // unlit lamp or segment
}  // namespace palette

cairo_surface_t* paintBackground();
cairo_surface_t* paintLargeKnob();
cairo_surface_t* paintSmallKnob();
cairo_surface_t* paintArc(const Arc& arc);
cairo_surface_t* paintArcHold(const Arc& arc);
cairo_surface_t* paintSwitch();
cairo_surface_t* paintResetButton();
cairo_surface_t* paintLevelBar();

}  // namespace artwork
