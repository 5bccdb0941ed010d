// Symbol visibility for the shared libraries of this project.
//
// Every library is built with hidden visibility; only names marked here are
// exported. Deliverables mark their named entry points with VNX_EXPORT inside
// an extern "C" block; the platform layer marks its interface with
// VNX_PLATFORM_API.
#pragma once

#define VNX_EXPORT __attribute__((visibility("default")))
#define VNX_PLATFORM_API __attribute__((visibility("default")))
