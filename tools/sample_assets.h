#pragma once
// The sample show's assets, each computed from formulas of its own, so that the output is the
// same on every run and every host.
#include "content.h"

#include <functional>
#include <string>
#include <vector>

namespace NSample
{
// ---- Images: square, RGBA.
NContent::SPixels Plasma(int size, float phase);
// Grey rings fading out towards the edge.
NContent::SPixels Rings(int size);
// Diagonal stripes, half of them translucent.
NContent::SPixels Stripes(int size);
NContent::SPixels Tiles(int size, float r, float g, float b);
// Bands of flat colour, which run-length coding packs well.
NContent::SPixels Bands(int size);
// One face of a sky cube: a vertical gradient whose hue turns with the face (0 to 5).
NContent::SPixels SkyFace(int size, int face);

// ---- Shapes: parametric surfaces of u, v in 0..1.
typedef std::function<void(float u, float v, float out[3])> TSurface;
void Torus(float u, float v, float out[3]);
void Globe(float u, float v, float out[3]);
void Star(float u, float v, float out[3]);
void Vase(float u, float v, float out[3]);
void Spring(float u, float v, float out[3]);
void Knot(float u, float v, float out[3]);

// An archive model of a grid of (columns + 1) x (rows + 1) vertices, as a triangle list or
// one strip per row of cells; texture coordinate sets after the first tile the first one.
NContent::SModelFile GridModel(int columns, int rows, const TSurface& f, bool strips, uint32_t sets);
// A LightWave object of a grid closed in u (and in v when closedV), its columns split evenly
// among the surfaces.
NContent::SLightWaveObject GridObject(int columns, int rows, bool closedV, const TSurface& f,
                                      const std::vector<std::string>& surfaces);
// A double pyramid of n sides: "facet" above, "girdle" below.
NContent::SLightWaveObject Crystal(int n);
} // namespace NSample
