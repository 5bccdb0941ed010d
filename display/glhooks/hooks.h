// The OpenGL hook slots of the device record: the functions through which the
// driver reaches the GL server. Until the server is loaded each slot holds
// its default; the server's DrvEnableEscape writes its own functions into
// them, and unloading the server puts the defaults back.
#pragma once

#include "glhookslots.h"
#include "platform/ddi.h"

struct PDEV;

// Puts the default into every hook slot and forgets the server's module.
void vInitOpenGLHooks(PDEV* ppdev);
