// Stand-ins for the server's parts not built yet (see seams_double.cpp).
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
};

struct Record {
    std::vector<Call> calls;
};

// What the stand-ins answer.
struct Answers {
    ULONG ul = 1;                    // every numeric or BOOL answer
    GLContext* gcCreated = nullptr;  // what context creation makes
    std::set<ULONG> notDone;         // dispatch ids the lgi layer has not finished
    std::map<ULONG, std::vector<ULONG>> attrs;  // lgi attribute values read back
    BoardConfig* board = nullptr;    // the board configuration __glBoardConfig answers
    N_Light eyeLight{};              // what N_GetLight reads back
};

// The last reply written: its 32 bytes and its data.
struct Reply {
    std::vector<std::uint8_t> header;
    std::vector<std::uint8_t> data;
    int count = 0;
};
extern Reply gReply;

extern Record gRecord;
extern Answers gAnswers;
// Contexts and a window to hand out; the window's engine handle.
extern GLContext* const kContextA;
extern GLContext* const kContextB;
extern WNDOBJ* const kWindow;
constexpr ULONG kWindowHandle = 0x77;

}  // namespace glsrv_double
