// The client's glBegin, glEnd and the list calls that must see the open
// batch (batch.cpp).
#pragma once

#include "clt.h"
#include "glentries.h"

void CltBegin(GLenum mode);
void CltEnd();
void CltCallList(GLuint list);
void CltListBase(GLuint base);
void CltCallLists(GLsizei n, GLenum type, const GLvoid* lists);
