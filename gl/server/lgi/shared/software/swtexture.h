// Texturing of a fragment span on the software path: the samplers that
// replace each fragment's s, t, q with the texel colour (red, green, blue
// into the s, t, q arrays, alpha into the texel-alpha array), and the
// texture environment functions that combine the texel with the fragment.
//
// Texels are read from the texture cache's levels (N_Context ppTexLevels):
// five floats a texel (red, green, blue on 0..255, alpha on 0..1, a spare
// word), rows of the level's stored width (border included), the level
// pointer at the first interior texel. The span's s and t are already in
// [0, 1]. Every fragment is sampled, live or not; integer conversions
// truncate toward zero.
#pragma once

#include "swspan.h"

// Level-of-detail mode 0: one level (or pair) chosen for the primitive.
void _NTexFilterNearest(N_Context* pctx, N_Pipe* pipe, N_TexLod* pLod);
void _NTexFilterLinear(N_Context* pctx, N_Pipe* pipe, N_TexLod* pLod);
void _NTexFilterNearestMipLinear(N_Context* pctx, N_Pipe* pipe, N_TexLod* pLod);
void _NTexFilterLinearMipLinear(N_Context* pctx, N_Pipe* pipe, N_TexLod* pLod);
// The filter of a filter code 0-5 (the texture validator's table).
typedef void (*N_TexFilterFn)(N_Context*, N_Pipe*, N_TexLod*);
N_TexFilterFn _NTexFilterOf(ULONG code);

// The texture environments (over the span's count fragments).
void _NTexEnvModulate(N_Context* pctx, N_Pipe* pipe);
void _NTexEnvDecal(N_Context* pctx, N_Pipe* pipe);
void _NTexEnvDecalRGBA(N_Context* pctx, N_Pipe* pipe);
void _NTexEnvBlend(N_Context* pctx, N_Pipe* pipe);
// The fog-aware form that stands in for modulate and decal under fog.
void _NTexEnvAlt(N_Context* pctx, N_Pipe* pipe);

// Stage 38: divides s and t by q (or, with a level a fragment, leaves each
// fragment's footprint in q), wraps or clamps them, samples (the filter in
// force, or the per-fragment core) and runs the texture environment.
void _NSpanTexture(N_Context* pctx, N_Pipe* pipe);
// The sampler of level-of-detail modes 1 (a level a fragment from its
// footprint in q) and 2 (the record's level for the whole span).
void _NSpanTexCore(N_Context* pctx, N_Pipe* pipe, N_TexLod* pLod);

// The wrap of one coordinate: repeat into (0, 1] for negative values and
// [0, 1) otherwise (exactly 1.0 stays), or clamp to [0, 1].
float _NTexWrap(float s, bool bRepeat);
