// The client's copy of selected GL state: the lighting, depth-test and
// blend enables, both polygon modes, the shade model, the clear colour, the
// point size and the draw buffer, each with a valid bit in the
// ClientContext. The calls that set them keep the copy (and drop calls that
// would not change a kept value); a glPopAttrib that may restore a value
// marks it invalid. glBegin reads the copy to choose how a polygon is
// batched, the queries answer from it.
#pragma once

#include "clt.h"
#include "glentries.h"

// Valid bits of ClientContext.cacheValid beside the polygon modes (clt.h).
#define CLT_CACHE_LIGHTING 0x01u
#define CLT_CACHE_DEPTH_TEST 0x02u
#define CLT_CACHE_BLEND 0x04u
#define CLT_CACHE_CLEAR_COLOR 0x20u
#define CLT_CACHE_POINT_SIZE 0x40u
#define CLT_CACHE_DRAW_BUFFER 0x80u
// The three kept enables: valid bits in cacheValid, values in cacheEnables.
#define CLT_CACHE_ENABLES (CLT_CACHE_LIGHTING | CLT_CACHE_DEPTH_TEST | CLT_CACHE_BLEND)

// GL_COLOR_LOGIC_OP, which the client sends as GL_LOGIC_OP.
#define CLT_GL_COLOR_LOGIC_OP 0x0BF2u

// The kept calls, after the common path of a state call (state.h): each
// keeps its value and sends its command, or drops a call that changes
// nothing.
void CltPointSize(ThreadBlock* ptb, GLfloat size);
void CltPolygonMode(ThreadBlock* ptb, GLenum face, GLenum mode);
void CltShadeModel(ThreadBlock* ptb, GLenum mode);
void CltDrawBuffer(ThreadBlock* ptb, GLenum mode);
void CltClearColor(ThreadBlock* ptb, GLclampf red, GLclampf green, GLclampf blue, GLclampf alpha);
void CltEnable(ThreadBlock* ptb, GLenum cap);
void CltDisable(ThreadBlock* ptb, GLenum cap);
void CltPushAttrib(ThreadBlock* ptb, GLbitfield mask);
void CltPopAttrib(ThreadBlock* ptb);

// --- answers from the copy, for the queries ------------------------------------------
// glIsEnabled of GL_LIGHTING, GL_DEPTH_TEST or GL_BLEND while the copy knows
// it: true with *pbEnabled set; false when the server must be asked.
bool bCachedEnable(const ClientContext* cc, GLenum cap, GLboolean* pbEnabled);
// glGetIntegerv / glGetBooleanv of GL_POLYGON_MODE (two values),
// GL_LIGHTING, GL_DEPTH_TEST or GL_DRAW_BUFFER (one) while the copy knows
// it: the values into v and their count; 0 when the server must be asked.
ULONG CachedIntegers(const ClientContext* cc, GLenum pname, GLint v[2]);
