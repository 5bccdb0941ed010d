// The record of one colour, depth, stencil or accumulation buffer of the GL
// server: a buffer in host memory, or a device surface in board memory. The
// lgi layer binds these by their kind word.
#pragma once

#include "platform/ddi.h"
#include "platform/kernel.h"

#define GLBUFFER_MEMORY_HOST 1u    // memoryKind: pixels in host memory at pvPixels
#define GLBUFFER_MEMORY_DEVICE 5u  // memoryKind: a device surface (hsurf)

// Kinds (one bit each), also the bits of the lgi layer's clear masks.
#define GLBUFFER_FRONT_LEFT 0x1u
#define GLBUFFER_FRONT_RIGHT 0x2u
#define GLBUFFER_BACK_LEFT 0x4u
#define GLBUFFER_BACK_RIGHT 0x8u
#define GLBUFFER_DEPTH 0x100u
#define GLBUFFER_STENCIL 0x200u
#define GLBUFFER_ACCUM 0x400u
#define GLBUFFER_DEPTH_STENCIL 0x900u  // depth with stencil (2304)
#define GLBUFFER_ALPHA 0x10000u
#define GLBUFFER_PLANE_20000 0x20000u
#define GLBUFFER_PLANE_40000 0x40000u
#define GLBUFFER_PLANE_80000 0x80000u

// Holds pointers: the fields keep their order, the record its natural size.
struct GLBuffer {
    void* pvPixels;       // pixel address (host memory), or null
    void* pDeviceRecord;  // the buffer's device record (board address words, swap rectangle, window)
    ULONG memoryKind;     // GLBUFFER_MEMORY_...
    ULONG kind;           // GLBUFFER_... (one bit)
    ULONG bitsPerPixel;
    LONG x;               // position and size in screen pixels
    LONG y;
    LONG cx;
    LONG cy;
    ULONG bytesPerPixel;  // bits / 8, 3 taken as 4
    ULONG stride;         // row stride in bytes (host buffers: cx x bytesPerPixel)
    HSURF hsurf;          // the surface (device kind)
};
