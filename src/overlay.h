#pragma once
// The -fps overlay drawn over the show on the current device.
class CDemoSystem;

// The frame rate, then every active effect (root first, children indented) with its update,
// render and GPU time per frame, on a dark box in crisp whole-pixel glyphs. The first call
// starts measuring what the effects cost.
void DrawOverlay(CDemoSystem& system, int device, float fps);
