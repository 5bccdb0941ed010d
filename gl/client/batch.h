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
// For a call that runs between glBegin and glEnd after the vertices before
// it (a list, a material, an evaluator point): closes a kept-open
// primitive, gives the small cache up and turns an open batch into plain
// commands. Answers the thread's block, or null when nothing is to be sent.
ThreadBlock* pFlushBatchForList();
