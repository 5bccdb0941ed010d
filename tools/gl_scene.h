// The OpenGL programs vnxsim runs in a window on its desktop: its own scene
// (gl_scene.cpp) and the examples (examples/), each as an application in a
// process of its own (gl_program.cpp).
#pragma once

#include <string>

#include "platform/ddi.h"
#include "platform/engine.h"

// The scene's clear colour and its caption: white text, its bottom-left
// corner at (kCaptionX, kCaptionY) of the window, bottom-up.
inline constexpr float kSceneBackground[3] = {0.05f, 0.05f, 0.2f};
inline constexpr const char* kCaption = "VORNIX OPENGL 1.0";
inline constexpr int kCaptionX = 8, kCaptionY = 8;

// Draws the scene in a window with the client rectangle *where; 0 on success.
int draw_gl_scene(const RECTL* where);

// The window every GL program gets: 320 x 240 pixels at the middle of the
// first screen.
RECTL gl_window_rect(LONG cxScreen, LONG cyScreen);

// The names --gl takes, for the help text and the error message.
std::string gl_program_names();
// Whether name is a GL program vnxsim knows (or "none").
bool known_gl_program(const std::string& name);

// Runs the named program (the scene or an example; "none" runs nothing) as
// an application, lets the board draw what it sent, and prints the 3D
// packets each rasterizer consumed meanwhile. When the mode offers no RGBA
// pixel format with a depth buffer the program is skipped, which is a
// failure only when required. False when the program failed.
bool run_gl_program(vnx::engine::Device& device, const std::string& name, bool required);
