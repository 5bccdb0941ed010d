// The dispatcher program's doubles: the server's parts behind seams.h
// (seams_double.cpp) and the lgi layer's contract (lgi_double.cpp), which
// record their calls here and answer what the test set.
#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "lgi/lgi.h"
#include "boardconfig.h"
#include "seams.h"

namespace glsrv_double {

struct Call {
    std::string name;
    std::vector<std::uintptr_t> args;
    USHORT controlWord = 0;     // x87 control word during the call
    int exceptionsEnabled = 0;  // fegetexcept() during the call
    std::vector<ULONG> words;   // N_SetStateBlockAttr: the value's words
    std::string text;           // a text argument, where the call has one
};

struct Record {
    std::vector<Call> calls;
    std::vector<BYTE> image;  // the image the last pixel draw was handed (Answers.cjImage bytes)
};

// What the stand-ins answer.
struct Answers {
    ULONG ul = 1;                    // every numeric or BOOL answer
    GLContext* gcCreated = nullptr;  // what context creation makes
    std::set<ULONG> notDone;         // dispatch ids the lgi layer has not finished
    std::map<ULONG, std::vector<ULONG>> attrs;  // lgi attribute values read back
    BoardConfig* board = nullptr;    // the board configuration __glBoardConfig answers
    N_Light eyeLight{};              // what N_GetLight reads back
    std::vector<std::uint8_t> takenBack;  // the requests a primitive gives back (empty: none)
    ULONG ulFull = 0;                // the position setters' record-full word
    LONG lFeedback = 0;              // the feedback count at the end of feedback
    // Evaluators, pixel rectangles and display lists.
    ULONG ulOpen = 0;                // what opening the primitive buffer answers
    std::size_t cjImage = 0;         // bytes of a drawn image kept in Record.image
    std::vector<BYTE> readBack;      // what N_ReadPixels writes
};

extern Record gRecord;
// The names of the calls recorded so far, in order.
inline std::vector<std::string> CallNames() {
    std::vector<std::string> v;
    for (const Call& c : gRecord.calls) v.push_back(c.name);
    return v;
}
extern Answers gAnswers;
// Contexts (with a drawable) and a window to hand out; the window's engine handle.
extern GLContext* const kContextA;
extern GLContext* const kContextB;
extern WNDOBJ* const kWindow;
// The vertex record the context's primitive buffer fills.
extern N_VertexRecord* const kVertexRecord;
constexpr ULONG kWindowHandle = 0x77;

}  // namespace glsrv_double
