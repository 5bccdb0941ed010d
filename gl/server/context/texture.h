// The device's table of textures loaded into board memory (texture.cpp):
// up to 32 textures of up to 11 levels, each level in a tile (up to
// 256 x 256) or a device bitmap, with an optional 8-bit companion surface
// for the alpha of the texels.
#pragma once

#include "glsrv.h"
#include "lgi/lgigl.h"

#define GLTEX_TEXTURES 32u
#define GLTEX_LEVELS 11u

struct GLTexLevel {
    HSURF hsurfImage;       // the image surface
    HSURF hsurfCompanion;   // the 8-bit companion, or 0
    SURFOBJ* psoImage;      // both locked while loaded
    SURFOBJ* psoCompanion;
    ULONG address;          // the image surface's pid: what the texture's packets name
    ULONG pitch;            // texels a row: the tile size, or the bitmap's width
    ULONG id;               // the texture's identifier
};

struct GLTexTable {
    ULONG iCurrent;                 // the current texture's index
    ULONG cLoaded;                  // textures loaded
    ULONG aulIds[GLTEX_TEXTURES];   // their identifiers (0: free)
    GLTexLevel levels[GLTEX_TEXTURES][GLTEX_LEVELS];
};

// Releases every loaded texture's surfaces (id 0), or only when each has
// identifier id: 1, or 0 when one has another identifier.
ULONG _DReleaseTextures(PDEV* ppdev, ULONG id);
// Releases the device's textures and its table (its last context went).
void __glReleaseDeviceTextures(PDEV* ppdev);
// The device's table, or null before the first load (tests and release).
GLTexTable* __glTextureTable(PDEV* ppdev);
