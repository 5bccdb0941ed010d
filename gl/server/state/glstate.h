// The word layout of the GL attribute-group blocks of GLState: where each
// block keeps the values the server itself reads. Every other word holds
// the value of the lgi attribute that the group's apply table names.
#pragma once

#include <cstddef>
#include <cstring>

#include "context/context.h"

// ENABLE: word 0 the enable bits (GLX_EN_ bits), then one word each for
// the clip planes, lights, maps and texture-coordinate generation (the
// GLX_EN_ word indexes); state/caps.h says which capability is where.
#define GLX_ENABLE_BITS 0u
#define GLX_EN_NORMALIZE 0x1u
#define GLX_EN_LIGHTING 0x2u
#define GLX_EN_COLOR_MATERIAL 0x4u
#define GLX_EN_AUTO_NORMAL 0x8u
#define GLX_EN_TEXTURE_1D 0x10u
#define GLX_EN_TEXTURE_2D 0x20u
#define GLX_EN_ALPHA_TEST 0x40u
#define GLX_EN_BLEND 0x80u
#define GLX_EN_DITHER 0x100u
#define GLX_EN_LOGIC_OP 0x200u
#define GLX_EN_POLYGON_SMOOTH 0x400u
#define GLX_EN_POLYGON_STIPPLE 0x800u
#define GLX_EN_CULL_FACE 0x1000u
#define GLX_EN_DEPTH_TEST 0x2000u
#define GLX_EN_LINE_SMOOTH 0x4000u
#define GLX_EN_LINE_STIPPLE 0x8000u
#define GLX_EN_FOG 0x10000u
#define GLX_EN_POINT_SMOOTH 0x20000u
#define GLX_EN_SCISSOR_TEST 0x40000u
#define GLX_EN_STENCIL_TEST 0x80000u
// ENABLE words of the clip planes, lights, maps and texture generation.
#define GLX_EN_CLIP_PLANES 1u
#define GLX_EN_LIGHTS 7u
#define GLX_EN_MAP1 15u
#define GLX_EN_MAP2 24u
#define GLX_EN_TEXGEN 33u
// LINE: width (N_ATTR_LINE_WIDTH), stipple pattern and repeat.
#define GLX_LINE_WIDTH 0u
#define GLX_LINE_PATTERN 1u
#define GLX_LINE_REPEAT 2u
// POLYGON: front and back mode (lgi codes, 2 fill), cull face (N_ATTR_CULL_MODE), front face.
#define GLX_POLYGON_FRONT_MODE 0u
#define GLX_POLYGON_BACK_MODE 1u
#define GLX_POLYGON_CULL 2u
#define GLX_POLYGON_FRONT_FACE 3u
// PIXEL_MODE: words 0..15 the transfer attributes (N_ATTR_MAP_COLOUR ..
// N_ATTR_ZOOM_Y); the read buffer as buffer bits (N_ATTR_READ_BUFFER) and
// as its GL name.
#define GLX_PIXEL_READ_BIT 16u
#define GLX_PIXEL_READ_BUFFER 17u
// LIGHTING: eight light records of 25 words from word 48, each an lgi
// light record (N_Light, whose word offsets light/light.h checks).
#define GLX_LIGHT_FIRST 48u
#define GLX_LIGHT_WORDS 25u
#define GLX_LIGHTS 8u
#define GLX_LIGHT_AMBIENT 1u
#define GLX_LIGHT_DIFFUSE 5u
#define GLX_LIGHT_SPOT_DIRECTION 9u
#define GLX_LIGHT_SPOT_CUTOFF 17u
#define GLX_LIGHT_SPECULAR 21u
// VIEWPORT: depth range, the never-set flag, x, y, width, height.
#define GLX_VIEWPORT_NEAR 0u
#define GLX_VIEWPORT_FAR 1u
#define GLX_VIEWPORT_UNSET 2u
#define GLX_VIEWPORT_X 3u
#define GLX_VIEWPORT_Y 4u
#define GLX_VIEWPORT_WIDTH 5u
#define GLX_VIEWPORT_HEIGHT 6u
// TRANSFORM: matrix mode, then six clip-plane equations of four words.
#define GLX_TRANSFORM_MATRIX_MODE 0u
#define GLX_TRANSFORM_PLANES 1u
// COLOR_BUFFER: the draw buffer as buffer bits (N_ATTR_DRAW_BUFFER, word 15) and as
// its GL name (word 16), the colour write mask as four bytes (red,
// green, blue, alpha) in word 13, and the index write mask as the client
// gave it in word 17 (the lgi layer holds it cut to the format's index
// bits, which glGet must not answer): the words no lgi attribute holds.
#define GLX_COLOR_DRAW_BITS 15u
#define GLX_COLOR_DRAW_BUFFER 16u
#define GLX_COLOR_WRITE_MASK 13u
#define GLX_COLOR_INDEX_MASK 17u
// HINT: five hints; LIST: the list base.
#define GLX_HINTS 5u
#define GLX_LIST_BASE 0u
// TEXTURE: the coordinates s, t, r, q, nine words each: generation mode
// (lgi code, 1 at first), object plane, eye plane.
#define GLX_TEXGEN_WORDS 9u
#define GLX_TEXGEN_OBJECT_PLANE 1u
#define GLX_TEXGEN_EYE_PLANE 5u
struct __GLXtexGenRecord {
    ULONG mode;
    float objectPlane[4];
    float eyePlane[4];
};
static_assert(sizeof(__GLXtexGenRecord) == GLX_TEXGEN_WORDS * sizeof(ULONG));
static_assert(offsetof(__GLXtexGenRecord, objectPlane) == GLX_TEXGEN_OBJECT_PLANE * sizeof(ULONG) &&
              offsetof(__GLXtexGenRecord, eyePlane) == GLX_TEXGEN_EYE_PLANE * sizeof(ULONG));
// Coordinate c's record in a TEXTURE block (the block is a run of words:
// records are copied in and out), and storing one there.
inline __GLXtexGenRecord __glXTexGenRecord(const ULONG* pwTexture, ULONG c) {
    __GLXtexGenRecord rec;
    std::memcpy(&rec, pwTexture + c * GLX_TEXGEN_WORDS, sizeof rec);
    return rec;
}
inline void __glXStoreTexGenRecord(ULONG* pwTexture, ULONG c, const __GLXtexGenRecord& rec) {
    std::memcpy(pwTexture + c * GLX_TEXGEN_WORDS, &rec, sizeof rec);
}
// SCISSOR: the never-set flag, x, y, width, height.
#define GLX_SCISSOR_UNSET 0u
#define GLX_SCISSOR_X 1u
#define GLX_SCISSOR_Y 2u
#define GLX_SCISSOR_WIDTH 3u
#define GLX_SCISSOR_HEIGHT 4u
// EVAL: nine one-dimensional maps {components, order, u1, u2, control point
// of four}, nine two-dimensional maps {components, u order, v order, u1, u2,
// v1, v2, control point of four} with the GL defaults, then three grids {u1,
// u2, n}. The maps a client defines live in the evaluator record
// (eval/eval.h), as no attribute group holds them; the grids live here.
#define GLX_EVAL_MAPS 9u
#define GLX_EVAL_MAP1_WORDS 8u
#define GLX_EVAL_MAP2_WORDS 11u
#define GLX_EVAL_MAP2_FIRST (GLX_EVAL_MAPS * GLX_EVAL_MAP1_WORDS)
#define GLX_EVAL_GRID_FIRST (GLX_EVAL_MAP2_FIRST + GLX_EVAL_MAPS * GLX_EVAL_MAP2_WORDS)
#define GLX_EVAL_GRIDS 3u

// Buffer bits of the draw and read buffers.
#define GLX_BUFFER_FRONT_LEFT 0x1u
#define GLX_BUFFER_FRONT_RIGHT 0x2u
#define GLX_BUFFER_BACK_LEFT 0x4u
#define GLX_BUFFER_BACK_RIGHT 0x8u
// The values the draw and read buffers start with: GL_BACK for a
// double-buffered visual, GL_FRONT otherwise (GL_BACK is 0x405; 0x402 is
// GL_BACK_LEFT).
#define GLX_DRAW_FRONT 0x404u
#define GLX_DRAW_BACK 0x405u
