// The software texture cache and the level loads behind N_BindAttrMap
// (texcache.cpp).
#pragma once

#include <cstdint>

#include "3d/context/context.h"

// The level-0 checksum of the current cache entry, 0 without a cache.
ULONG _NCurrentTexChecksum(N_Context* pctx);
// 1 when the cache holds the level under the identifier with the same
// image (its fingerprint); a level-0 find makes the entry current.
ULONG _NFindTexCache(N_Context* pctx, ULONG level, ULONG id, std::uint64_t fingerprint);
// A new entry for the bound texture (the cache dropped first when it holds
// 32 entries or 10,000,001 bytes): 1, or 0 when storage cannot be had.
ULONG _NNewTexCacheEntry(N_Context* pctx, ULONG border, ULONG w, ULONG h);
// Stores a converted level into the current entry (level 0: a new entry):
// w x h interior texels with the border round them, (w + 2 border) x
// (h + 2 border) words in rows.
void _NLoadTexCacheLevel(N_Context* pctx, ULONG id, std::uint64_t fingerprint, ULONG w, ULONG h, ULONG border,
                         ULONG level, const ULONG* pulPixels);
// 1 when every level of the current entry is loaded; 0 without a cache.
ULONG _NAllTexLevelsLoaded(N_Context* pctx);
