// The body lengths of the render requests as the published GLX encoding
// lays them out, so that every handler can refuse a request too short for
// what it reads before it reads anything.
#include <cstring>

#include "dispatch/dispatch.h"

namespace {

constexpr USHORT kNone = 0xFFFF;

// Fixed body bytes of render opcodes 0..191 (after the 4-byte header):
// the request's arguments, or for a request with a variable part the part
// before it. Bytes and shorts are padded to a whole word at the end.
const USHORT kFixedBody[192] = {
    kNone,  // 0
    4,    // 1 CallList
    8,    // 2 CallLists (+ variable part)
    4,    // 3 ListBase
    4,    // 4 Begin
    44,   // 5 Bitmap (+ variable part)
    4,    // 6 Color3bv
    24,   // 7 Color3dv
    12,   // 8 Color3fv
    12,   // 9 Color3iv
    8,    // 10 Color3sv
    4,    // 11 Color3ubv
    12,   // 12 Color3uiv
    8,    // 13 Color3usv
    4,    // 14 Color4bv
    32,   // 15 Color4dv
    16,   // 16 Color4fv
    16,   // 17 Color4iv
    8,    // 18 Color4sv
    4,    // 19 Color4ubv
    16,   // 20 Color4uiv
    8,    // 21 Color4usv
    4,    // 22 EdgeFlagv
    0,    // 23 End
    8,    // 24 Indexdv
    4,    // 25 Indexfv
    4,    // 26 Indexiv
    4,    // 27 Indexsv
    4,    // 28 Normal3bv
    24,   // 29 Normal3dv
    12,   // 30 Normal3fv
    12,   // 31 Normal3iv
    8,    // 32 Normal3sv
    16,   // 33 RasterPos2dv
    8,    // 34 RasterPos2fv
    8,    // 35 RasterPos2iv
    4,    // 36 RasterPos2sv
    24,   // 37 RasterPos3dv
    12,   // 38 RasterPos3fv
    12,   // 39 RasterPos3iv
    8,    // 40 RasterPos3sv
    32,   // 41 RasterPos4dv
    16,   // 42 RasterPos4fv
    16,   // 43 RasterPos4iv
    8,    // 44 RasterPos4sv
    32,   // 45 Rectdv
    16,   // 46 Rectfv
    16,   // 47 Rectiv
    8,    // 48 Rectsv
    8,    // 49 TexCoord1dv
    4,    // 50 TexCoord1fv
    4,    // 51 TexCoord1iv
    4,    // 52 TexCoord1sv
    16,   // 53 TexCoord2dv
    8,    // 54 TexCoord2fv
    8,    // 55 TexCoord2iv
    4,    // 56 TexCoord2sv
    24,   // 57 TexCoord3dv
    12,   // 58 TexCoord3fv
    12,   // 59 TexCoord3iv
    8,    // 60 TexCoord3sv
    32,   // 61 TexCoord4dv
    16,   // 62 TexCoord4fv
    16,   // 63 TexCoord4iv
    8,    // 64 TexCoord4sv
    16,   // 65 Vertex2dv
    8,    // 66 Vertex2fv
    8,    // 67 Vertex2iv
    4,    // 68 Vertex2sv
    24,   // 69 Vertex3dv
    12,   // 70 Vertex3fv
    12,   // 71 Vertex3iv
    8,    // 72 Vertex3sv
    32,   // 73 Vertex4dv
    16,   // 74 Vertex4fv
    16,   // 75 Vertex4iv
    8,    // 76 Vertex4sv
    36,   // 77 ClipPlane
    8,    // 78 ColorMaterial
    4,    // 79 CullFace
    8,    // 80 Fogf
    4,    // 81 Fogfv (+ variable part)
    8,    // 82 Fogi
    4,    // 83 Fogiv (+ variable part)
    4,    // 84 FrontFace
    8,    // 85 Hint
    12,   // 86 Lightf
    8,    // 87 Lightfv (+ variable part)
    12,   // 88 Lighti
    8,    // 89 Lightiv (+ variable part)
    8,    // 90 LightModelf
    4,    // 91 LightModelfv (+ variable part)
    8,    // 92 LightModeli
    4,    // 93 LightModeliv (+ variable part)
    8,    // 94 LineStipple
    4,    // 95 LineWidth
    12,   // 96 Materialf
    8,    // 97 Materialfv (+ variable part)
    12,   // 98 Materiali
    8,    // 99 Materialiv (+ variable part)
    4,    // 100 PointSize
    8,    // 101 PolygonMode
    148,  // 102 PolygonStipple
    16,   // 103 Scissor
    4,    // 104 ShadeModel
    12,   // 105 TexParameterf
    8,    // 106 TexParameterfv (+ variable part)
    12,   // 107 TexParameteri
    8,    // 108 TexParameteriv (+ variable part)
    52,   // 109 TexImage1D (+ variable part)
    52,   // 110 TexImage2D (+ variable part)
    12,   // 111 TexEnvf
    8,    // 112 TexEnvfv (+ variable part)
    12,   // 113 TexEnvi
    8,    // 114 TexEnviv (+ variable part)
    16,   // 115 TexGend
    8,    // 116 TexGendv (+ variable part)
    12,   // 117 TexGenf
    8,    // 118 TexGenfv (+ variable part)
    12,   // 119 TexGeni
    8,    // 120 TexGeniv (+ variable part)
    0,    // 121 InitNames
    4,    // 122 LoadName
    4,    // 123 PassThrough
    0,    // 124 PopName
    4,    // 125 PushName
    4,    // 126 DrawBuffer
    4,    // 127 Clear
    16,   // 128 ClearAccum
    4,    // 129 ClearIndex
    16,   // 130 ClearColor
    4,    // 131 ClearStencil
    8,    // 132 ClearDepth
    4,    // 133 StencilMask
    4,    // 134 ColorMask
    4,    // 135 DepthMask
    4,    // 136 IndexMask
    8,    // 137 Accum
    4,    // 138 Disable
    4,    // 139 Enable
    kNone,  // 140 (no request)
    0,    // 141 PopAttrib
    4,    // 142 PushAttrib
    24,   // 143 Map1d (+ variable part)
    16,   // 144 Map1f (+ variable part)
    44,   // 145 Map2d (+ variable part)
    28,   // 146 Map2f (+ variable part)
    20,   // 147 MapGrid1d
    12,   // 148 MapGrid1f
    40,   // 149 MapGrid2d
    24,   // 150 MapGrid2f
    8,    // 151 EvalCoord1dv
    4,    // 152 EvalCoord1fv
    16,   // 153 EvalCoord2dv
    8,    // 154 EvalCoord2fv
    12,   // 155 EvalMesh1
    4,    // 156 EvalPoint1
    20,   // 157 EvalMesh2
    8,    // 158 EvalPoint2
    8,    // 159 AlphaFunc
    8,    // 160 BlendFunc
    4,    // 161 LogicOp
    12,   // 162 StencilFunc
    12,   // 163 StencilOp
    4,    // 164 DepthFunc
    8,    // 165 PixelZoom
    8,    // 166 PixelTransferf
    8,    // 167 PixelTransferi
    8,    // 168 PixelMapfv (+ variable part)
    8,    // 169 PixelMapuiv (+ variable part)
    8,    // 170 PixelMapusv (+ variable part)
    4,    // 171 ReadBuffer
    20,   // 172 CopyPixels
    36,   // 173 DrawPixels (+ variable part)
    16,   // 174 DepthRange
    48,   // 175 Frustum
    0,    // 176 LoadIdentity
    64,   // 177 LoadMatrixf
    128,  // 178 LoadMatrixd
    4,    // 179 MatrixMode
    64,   // 180 MultMatrixf
    128,  // 181 MultMatrixd
    48,   // 182 Ortho
    0,    // 183 PopMatrix
    0,    // 184 PushMatrix
    32,   // 185 Rotated
    16,   // 186 Rotatef
    24,   // 187 Scaled
    12,   // 188 Scalef
    24,   // 189 Translated
    12,   // 190 Translatef
    16,   // 191 Viewport
};

// The private render requests: the primitive batch and the packet buffer
// carry a 20-byte header (16 bytes after the render header).
constexpr ULONG kPrimitiveHeaderBody = 16;

}  // namespace

USHORT __glXRenderOpcode(const void* pvRequest) {
    USHORT opcode;
    std::memcpy(&opcode, static_cast<const BYTE*>(pvRequest) + 2, sizeof opcode);
    return opcode;
}

ULONG __glXRenderLength(const GLClient* pgc, const void* pvRequest) {
    USHORT cj;
    std::memcpy(&cj, pvRequest, sizeof cj);
    if (cj == 0 && pgc != nullptr) return pgc->cjLarge;
    return cj;
}

ULONG __glXRenderFixedBody(ULONG opcode) {
    if (opcode < sizeof kFixedBody / sizeof kFixedBody[0]) {
        return kFixedBody[opcode] == kNone ? ~0u : kFixedBody[opcode];
    }
    switch (opcode) {
        case 1024: return 0;
        case 1025:
        case 1039: return kPrimitiveHeaderBody;
        default: return ~0u;
    }
}

BOOL __glXRenderBodyFits(const GLClient* pgc, const void* pvRequest, ULONG cjBody) {
    if (cjBody == ~0u) cjBody = 0;  // no such request: nothing beyond the header is read
    const ULONG cj = __glXRenderLength(pgc, pvRequest);
    return cj >= 4 && cj - 4 >= cjBody;
}
