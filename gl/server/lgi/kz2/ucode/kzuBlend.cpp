// The blend emitters: four tables from (source factor, destination factor)
// to a sequence of steps, written in the notation of the tables themselves
// and read once into step lists, and the saturate-factor step.
//
// Notation of a sequence: statements separated by ';', each "R = A" (copy),
// "R = A*B" (multiply), "R = A - B", "R = A + B" (plain add), or one of the
// add steps "R = sat(A + B)", "R = clampT(A + B, T)", "R = addK(A + B) + K",
// "R = short(A + B, T)"; "placeholder" for the pairs that fall to the
// placeholder rule; an empty text for "nothing" (which also
// places the placeholder into an empty program). Registers: S, As, D, Ad,
// T1, T2, F, Z, U, O, M and the emitter's own V (= V1) and V2.
#include <array>
#include <cstdlib>
#include <cstring>

#include "3d/context/context.h"
#include "kz2/ucode/kzalloc.h"
#include "kz2/ucode/kzuemit.h"
#include "lgi.h"

namespace {

constexpr char kSource[] = "kzuBlend";

enum Sym : unsigned char { S, As, D, Ad, T1, T2, F, Z, U, O, M, V1, V2, NSYM };
enum StepOp : unsigned char { COPY, MUL, SUB, ADD, SAT, CLAMPT, ADDK, SHORT };

struct Step {
    StepOp op;
    Sym r, a, b;
    Sym t;  // the temporary of clampT and short, K of addK
};

constexpr unsigned kMaxSteps = 8;
struct Seq {
    bool placeholder;
    unsigned char cSteps;
    Step steps[kMaxSteps];
    // For V1 and V2: whether the sequence uses it, and the step before
    // which (releaseBefore) or after which it is given back.
    bool uses[2];
    unsigned char lastStep[2];
    bool releaseBefore[2];
};

// --- reading the notation -----------------------------------------------------------
struct Reader {
    const char* p;
    const char* text;

    [[noreturn]] void Fail(const char* what) const {
        DbgPrint("kzuBlend: table text \"%s\": %s at \"%s\"\n", text, what, p);
        std::abort();
    }
    void Blank() {
        while (*p == ' ') ++p;
    }
    bool Eat(const char* tok) {
        Blank();
        const std::size_t n = std::strlen(tok);
        if (std::strncmp(p, tok, n) != 0) return false;
        p += n;
        return true;
    }
    void Expect(const char* tok) {
        if (!Eat(tok)) Fail(tok);
    }
    Sym Reg() {
        Blank();
        static constexpr struct {
            const char* name;
            Sym sym;
        } kNames[] = {{"As", As}, {"Ad", Ad}, {"T1", T1}, {"T2", T2}, {"V1", V1}, {"V2", V2}, {"S", S},
                      {"D", D},   {"F", F},   {"Z", Z},   {"U", U},   {"O", O},   {"M", M},   {"V", V1}};
        for (const auto& n : kNames) {
            if (Eat(n.name)) return n.sym;
        }
        Fail("no register");
    }
};

Seq ReadSeq(const char* text) {
    Seq seq{};
    Reader in{text, text};
    in.Blank();
    if (in.Eat("placeholder")) {
        seq.placeholder = true;
        return seq;
    }
    while (true) {
        in.Blank();
        if (*in.p == 0) break;
        if (seq.cSteps == kMaxSteps) in.Fail("too many steps");
        Step st{COPY, S, S, S, S};
        st.r = in.Reg();
        in.Expect("=");
        auto addStep = [&](StepOp op, bool bTemp) {
            st.op = op;
            st.a = in.Reg();
            in.Expect("+");
            st.b = in.Reg();
            if (bTemp) {
                in.Expect(",");
                st.t = in.Reg();
            }
            in.Expect(")");
        };
        if (in.Eat("sat(")) {
            addStep(SAT, false);
        } else if (in.Eat("clampT(")) {
            addStep(CLAMPT, true);
        } else if (in.Eat("short(")) {
            addStep(SHORT, true);
        } else if (in.Eat("addK(")) {
            addStep(ADDK, false);
            in.Expect("+");
            st.t = in.Reg();
        } else {
            st.a = in.Reg();
            if (in.Eat("*")) st.op = MUL;
            else if (in.Eat("-")) st.op = SUB;
            else if (in.Eat("+")) st.op = ADD;
            if (st.op != COPY) st.b = in.Reg();
        }
        seq.steps[seq.cSteps++] = st;
        in.Blank();
        if (*in.p == ';') ++in.p;
        else if (*in.p != 0) in.Fail("no ';'");
    }
    // Where each of V1 and V2 is last named; it is given back before that
    // step when the step is an add step that only reads it (the step reads
    // its operands before anything it claims is written), else after it.
    for (unsigned v = 0; v < 2; ++v) {
        const Sym sym = v == 0 ? V1 : V2;
        for (unsigned i = 0; i < seq.cSteps; ++i) {
            const Step& st = seq.steps[i];
            if (st.r == sym || st.a == sym || (st.op != COPY && st.b == sym) || st.t == sym) {
                seq.uses[v] = true;
                seq.lastStep[v] = static_cast<unsigned char>(i);
                seq.releaseBefore[v] = st.op >= SAT && st.r != sym && st.t != sym;
            }
        }
    }
    return seq;
}

// --- the tables ---------------------------------------------------------------------
enum : ULONG {
    ZERO = KZ_BLEND_ZERO, ONE = KZ_BLEND_ONE, DC = KZ_BLEND_DST_COLOR, OMDC = KZ_BLEND_ONE_MINUS_DST_COLOR,
    SA = KZ_BLEND_SRC_ALPHA, OMSA = KZ_BLEND_ONE_MINUS_SRC_ALPHA, DA = KZ_BLEND_DST_ALPHA,
    OMDA = KZ_BLEND_ONE_MINUS_DST_ALPHA, SAS = KZ_BLEND_SRC_ALPHA_SATURATE, SC = KZ_BLEND_SRC_COLOR,
    OMSC = KZ_BLEND_ONE_MINUS_SRC_COLOR,
};
constexpr unsigned short B(ULONG f) { return static_cast<unsigned short>(1u << f); }
constexpr unsigned short B(ULONG f, ULONG g) { return B(f) | B(g); }
constexpr unsigned short B(ULONG f, ULONG g, ULONG h) { return B(f) | B(g) | B(h); }

struct Row {
    unsigned short src, dst;  // factor sets
    const char* text;         // depth 16 and more (the one form of tables 1, 2, 4)
    const char* textLow;      // table 3, depth below 16
};

// Table 1: no source alpha, no alpha buffer.
constexpr Row kTable1[] = {
    {B(ZERO), B(ZERO, OMSA, OMDA), "D = Z", nullptr},
    {B(ZERO), B(ONE, SA, DA), "placeholder", nullptr},
    {B(ZERO), B(SC), "D = S*D", nullptr},
    {B(ZERO), B(OMSC), "T1 = S*D; D = D - T1", nullptr},
    {B(ONE), B(ZERO, OMSA, OMDA), "D = S", nullptr},
    {B(ONE), B(ONE, SA, DA), "D = sat(S + D)", nullptr},
    {B(ONE), B(SC), "T1 = S*D; D = sat(T1 + S)", nullptr},
    {B(ONE), B(OMSC), "T1 = S*D; T1 = D - T1; D = sat(S + T1)", nullptr},
    {B(DC), B(ZERO, OMSA, OMDA), "D = S*D", nullptr},
    {B(DC), B(ONE, SA, DA), "T1 = S*D; D = sat(T1 + D)", nullptr},
    {B(DC), B(SC), "T1 = S*D; D = sat(T1 + T1)", nullptr},
    {B(DC), B(OMSC), "D = D", nullptr},
    {B(OMDC), B(ZERO, OMSA, OMDA), "T1 = S*D; D = S - T1", nullptr},
    {B(OMDC), B(ONE, SA, DA), "T1 = S*D; T1 = S - T1; D = sat(T1 + D)", nullptr},
    {B(OMDC), B(SC), "D = S", nullptr},
    {B(OMDC), B(OMSC), "T1 = S*D; T2 = S - T1; T1 = D - T1; D = sat(T1 + T2)", nullptr},
    {B(SA), B(ZERO, OMSA, OMDA), "D = S", nullptr},
    {B(SA), B(ONE), "D = clampT(S + D, T2)", nullptr},
    {B(SA), B(SA, DA), "D = sat(S + D)", nullptr},
    {B(SA), B(SC), "T1 = D*S; D = sat(T1 + S)", nullptr},
    {B(SA), B(OMSC), "T1 = S*D; T1 = D - T1; D = sat(S + T1)", nullptr},
    {B(OMSA), B(ZERO, OMSA, OMDA), "D = Z", nullptr},
    {B(OMSA), B(ONE, SA), "D = D", nullptr},
    {B(OMSA), B(DA), "T1 = D", nullptr},
    {B(OMSA), B(SC), "D = S*D", nullptr},
    {B(OMSA), B(OMSC), "T1 = S*D; D = D - T1", nullptr},
    {B(DA), B(ZERO, OMSA, OMDA), "D = S", nullptr},
    {B(DA), B(ONE, SA, DA), "D = sat(S + D)", nullptr},
    {B(DA), B(SC), "T1 = S*D; D = sat(T1 + S)", nullptr},
    {B(DA), B(OMSC), "T1 = S*D; T1 = S - T1; D = sat(T1 + D)", nullptr},
    {B(OMDA, SAS), B(ZERO, OMSA, OMDA), "D = Z", nullptr},
    {B(OMDA, SAS), B(ONE, SA, DA), "D = D", nullptr},
    {B(OMDA, SAS), B(SC), "D = S*D", nullptr},
    {B(OMDA, SAS), B(OMSC), "T1 = S*D; D = D - T1", nullptr},
};

// Table 2: source alpha As and destination alpha Ad; F the saturate factor.
constexpr Row kTable2[] = {
    {B(ZERO), B(ZERO), "D = Z", nullptr},
    {B(ZERO), B(ONE), "D = D", nullptr},
    {B(ZERO), B(SA), "D = As*D", nullptr},
    {B(ZERO), B(OMSA), "T1 = As*D; D = D - T1", nullptr},
    {B(ZERO), B(DA), "D = D*Ad", nullptr},
    {B(ZERO), B(OMDA), "T1 = D*Ad; D = D - T1", nullptr},
    {B(ZERO), B(SC), "D = S*D", nullptr},
    {B(ZERO), B(OMSC), "T1 = S*D; D = D - T1", nullptr},
    {B(ONE), B(ZERO), "D = S", nullptr},
    {B(ONE), B(ONE), "D = sat(S + D)", nullptr},
    {B(ONE), B(SA), "T1 = As*D; D = sat(T1 + S)", nullptr},
    {B(ONE), B(OMSA), "T1 = As*D; T1 = D - T1; D = sat(T1 + S)", nullptr},
    {B(ONE), B(DA), "T1 = D*Ad; D = sat(T1 + S)", nullptr},
    {B(ONE), B(OMDA), "T1 = D*Ad; T1 = D - T1; D = sat(T1 + S)", nullptr},
    {B(ONE), B(SC), "T1 = S*D; D = sat(T1 + S)", nullptr},
    {B(ONE), B(OMSC), "T1 = S*D; T1 = D - T1; D = sat(T1 + S)", nullptr},
    {B(DC), B(ZERO), "D = S*D", nullptr},
    {B(DC), B(ONE), "T1 = S*D; D = sat(T1 + D)", nullptr},
    {B(DC), B(SA), "T1 = S*D; T2 = As*D; D = sat(T1 + T2)", nullptr},
    {B(DC), B(OMSA), "T1 = S*D; T2 = As*D; T2 = D - T2; D = sat(T1 + T2)", nullptr},
    {B(DC), B(DA), "T1 = S*D; T2 = D*Ad; D = sat(T1 + T2)", nullptr},
    {B(DC), B(OMDA), "T2 = D*Ad; T2 = D - T2; T1 = S*D; D = sat(T1 + T2)", nullptr},
    {B(DC), B(SC), "T1 = S*D; D = sat(T1 + T1)", nullptr},
    {B(DC), B(OMSC), "D = D", nullptr},
    {B(OMDC), B(ZERO), "T1 = S*D; D = S - T1", nullptr},
    {B(OMDC), B(ONE), "T1 = S*D; T1 = S - T1; D = sat(T1 + D)", nullptr},
    {B(OMDC), B(SA), "T1 = S*D; T1 = S - T1; T2 = As*D; D = sat(T1 + T2)", nullptr},
    {B(OMDC), B(OMSA), "T1 = S*D; T1 = S - T1; T2 = As*D; T2 = D - T2; D = sat(T1 + T2)", nullptr},
    {B(OMDC), B(DA), "T1 = S*D; T1 = S - T1; T2 = Ad*D; D = sat(T1 + T2)", nullptr},
    {B(OMDC), B(OMDA), "T1 = S*D; T1 = S - T1; T2 = D*Ad; T2 = D - T2; D = sat(T1 + T2)", nullptr},
    {B(OMDC), B(SC), "D = S", nullptr},
    {B(OMDC), B(OMSC), "T1 = S*D; T2 = S - T1; T1 = D - T1; D = sat(T1 + T2)", nullptr},
    {B(SA), B(ZERO), "D = S*As", nullptr},
    {B(SA), B(ONE), "T1 = S*As; D = sat(T1 + D)", nullptr},
    {B(SA), B(SA), "T1 = S*As; T2 = As*D; D = sat(T1 + T2)", nullptr},
    {B(SA), B(OMSA), "T1 = S*As; T2 = As*D; T2 = D - T2; D = sat(T1 + T2)", nullptr},
    {B(SA), B(DA), "T1 = S*As; T2 = D*Ad; D = sat(T1 + T2)", nullptr},
    {B(SA), B(OMDA), "T1 = S*As; T2 = D*Ad; T2 = D - T2; D = sat(T1 + T2)", nullptr},
    {B(SA), B(SC), "T1 = S*As; T2 = S*D; D = sat(T1 + T2)", nullptr},
    {B(SA), B(OMSC), "T1 = S*As; T2 = S*D; T2 = D - T2; D = sat(T1 + T2)", nullptr},
    {B(OMSA), B(ZERO), "T1 = S*As; D = S - T1", nullptr},
    {B(OMSA), B(ONE), "T1 = S*As; T1 = S - T1; D = sat(T1 + D)", nullptr},
    {B(OMSA), B(SA), "T1 = As*S; T1 = S - T1; T2 = D*As; D = sat(T1 + T2)", nullptr},
    {B(OMSA), B(OMSA), "T1 = As*S; T1 = S - T1; T2 = D*As; T2 = D - T2; D = sat(T1 + T2)", nullptr},
    {B(OMSA), B(DA), "T1 = As*S; T1 = S - T1; T2 = D*Ad; D = sat(T1 + T2)", nullptr},
    {B(OMSA), B(OMDA), "T1 = As*S; T1 = S - T1; T2 = D*Ad; T2 = D - T2; D = sat(T1 + T2)", nullptr},
    {B(OMSA), B(SC), "T1 = As*S; T1 = S - T1; T2 = D*S; D = sat(T1 + T2)", nullptr},
    {B(OMSA), B(OMSC), "T1 = As*S; T1 = S - T1; T2 = D*S; T2 = D - T2; D = sat(T1 + T2)", nullptr},
    {B(DA), B(ZERO), "T1 = D; D = S*Ad", nullptr},
    {B(DA), B(ONE), "T1 = D; T2 = S*Ad; D = sat(T1 + T2)", nullptr},
    {B(DA), B(SA), "T2 = As*D; T1 = S*Ad; D = sat(T1 + T2)", nullptr},
    {B(DA), B(OMSA), "T2 = As*D; T2 = D - T2; T1 = S*Ad; D = sat(T1 + T2)", nullptr},
    {B(DA), B(DA), "T2 = D*Ad; T1 = S*Ad; D = sat(T1 + T2)", nullptr},
    {B(DA), B(OMDA), "T2 = D*Ad; T2 = D - T2; T1 = S*Ad; D = sat(T1 + T2)", nullptr},
    {B(DA), B(SC), "T2 = S*D; T1 = S*Ad; D = sat(T1 + T2)", nullptr},
    {B(DA), B(OMSC), "T2 = S*D; T2 = D - T2; T1 = S*Ad; D = sat(T1 + T2)", nullptr},
    {B(OMDA), B(ZERO), "T1 = D; T1 = S*Ad; D = S - T1", nullptr},
    {B(OMDA), B(ONE), "T1 = D; T2 = S*Ad; T2 = S - T2; D = sat(T1 + T2)", nullptr},
    {B(OMDA), B(SA), "T1 = D*As; T2 = Ad*S; T2 = S - T2; D = sat(T1 + T2)", nullptr},
    {B(OMDA), B(OMSA), "T1 = D*As; T1 = D - T1; T2 = Ad*S; T2 = S - T2; D = sat(T1 + T2)", nullptr},
    {B(OMDA), B(DA), "T1 = D*Ad; T2 = Ad*S; T2 = S - T2; D = sat(T1 + T2)", nullptr},
    {B(OMDA), B(OMDA), "T1 = D*Ad; T1 = D - T1; T2 = Ad*S; T2 = S - T2; D = sat(T1 + T2)", nullptr},
    {B(OMDA), B(SC), "T1 = D*S; T2 = Ad*S; T2 = S - T2; D = sat(T1 + T2)", nullptr},
    {B(OMDA), B(OMSC), "T1 = D*S; T1 = D - T1; T2 = Ad*S; T2 = S - T2; D = sat(T1 + T2)", nullptr},
    {B(SAS), B(ZERO), "D = S*F", nullptr},
    {B(SAS), B(ONE), "T1 = S*F; D = clampT(T1 + D, T2)", nullptr},
    {B(SAS), B(SA), "T2 = S*F; T1 = As*D; D = sat(T1 + T2)", nullptr},
    {B(SAS), B(OMSA), "T2 = S*F; T1 = As*D; T1 = D - T1; D = sat(T1 + T2)", nullptr},
    {B(SAS), B(DA), "T2 = S*F; T1 = D*Ad; D = sat(T1 + T2)", nullptr},
    {B(SAS), B(OMDA), "T2 = S*F; T1 = D*Ad; T1 = D - T1; D = sat(T1 + T2)", nullptr},
    {B(SAS), B(SC), "T2 = S*F; T1 = S*D; D = sat(T1 + T2)", nullptr},
    {B(SAS), B(OMSC), "T2 = S*F; T1 = D*S; T1 = D - T1; D = sat(T1 + T2)", nullptr},
};

// Table 3: source alpha, no alpha buffer; depth 16 and more, depth below 16.
constexpr unsigned short kNoSrc = B(ZERO, OMDA, SAS);  // the source factors that act as ZERO
constexpr unsigned short kOneSrc = B(ONE, DA);         // ... as ONE
constexpr Row kTable3[] = {
    {kNoSrc, B(ZERO, OMDA), "D = Z", "D = Z"},
    {kNoSrc, B(ONE, DA), "placeholder", "placeholder"},
    {kNoSrc, B(SA), "T1 = As*D; D = T1", "T2 = D - O; T1 = As*T2; D = T1 + O"},
    {kNoSrc, B(OMSA), "T1 = As*D; T2 = D - T1; D = T2", "T2 = D - O; T1 = As*T2; T2 = D - T1; D = T2"},
    {kNoSrc, B(SC), "D = S*D", "T1 = S - O; T2 = D - O; V = T1*T2; D = V + O"},
    {kNoSrc, B(OMSC), "T1 = S*D; T2 = D - T1; D = T2", "T1 = S - O; T2 = D - O; V = T1*T2; T1 = D - V; D = T1"},
    {kOneSrc, B(ZERO, OMDA), "D = S", "D = S"},
    {kOneSrc, B(ONE, DA), "T1 = D; D = addK(S + T1) + O", "T1 = S - O; T2 = D - O; D = addK(T1 + T2) + O"},
    {kOneSrc, B(SA), "T2 = As*D; D = addK(S + T2) + O", "T1 = S - O; T2 = D - O; V = As*T2; D = addK(T1 + V) + O"},
    {kOneSrc, B(OMSA), "T2 = As*D; T1 = D - T2; D = addK(S + T1) + O",
     "T2 = D - O; T1 = As*T2; V = T2 - T1; T1 = S - O; D = addK(T1 + V) + O"},
    {kOneSrc, B(SC), "T2 = S*D; D = addK(S + T2) + O", "T1 = S - O; T2 = D - O; V = T1*T2; D = addK(T1 + V) + O"},
    {kOneSrc, B(OMSC), "T1 = U - D; T2 = S*T1; D = addK(D + T2) + O",
     "T1 = S - O; T2 = D - O; V = U - T2; T2 = T1*V; D = addK(D + T2) + Z"},
    {B(DC), B(ZERO, OMDA), "T1 = S*D; D = T1", "T1 = S - O; T2 = D - O; V = T1*T2; D = V + O"},
    {B(DC), B(ONE, DA), "T1 = S*D; D = addK(T1 + D) + O", "T1 = S - O; T2 = D - O; V = T1*T2; D = addK(V + D) + Z"},
    {B(DC), B(SA), "T1 = S*D; T2 = As*D; D = addK(T1 + T2) + O",
     "T1 = S - O; T2 = D - O; V = T1*T2; T1 = As*T2; D = addK(V + T1) + O"},
    {B(DC), B(OMSA), "T1 = As*D; T2 = D - T1; T1 = S*D; D = addK(T1 + T2) + O",
     "T1 = S - O; T2 = D - O; V = T1*T2; T1 = As*T2; T2 = D - T1; D = addK(V + T2) + Z"},
    {B(DC), B(SC), "T1 = S*D; T2 = T1; D = addK(T1 + T2) + O",
     "T1 = S - O; T2 = D - O; V = T1*T2; T2 = V; D = addK(V + T2) + O"},
    {B(DC), B(OMSC), "", ""},
    {B(OMDC), B(ZERO, OMDA), "T1 = U - D; D = S*T1", "T1 = D - O; T2 = U - T1; T1 = S - O; V = T1*T2; D = O + V"},
    {B(OMDC), B(ONE, DA), "T1 = U - D; T2 = S*T1; D = addK(D + T2) + O",
     "T1 = D - O; T2 = U - T1; T1 = S - O; V = T1*T2; D = addK(D + V) + Z"},
    {B(OMDC), B(SA), "T1 = U - D; T2 = S*T1; T1 = D*As; D = addK(T2 + T1) + O",
     "T1 = S - O; T2 = D - O; V1 = U - T2; V2 = T1*V1; T1 = T2*As; D = addK(V2 + T1) + O"},
    // The two one-minus entries form each term whole before the sum: a
    // difference of two products can fall below 0, where a subtract clamps.
    {B(OMDC), B(OMSA), "T1 = U - D; T2 = S*T1; T1 = D*As; T1 = D - T1; D = addK(T2 + T1) + O",
     "T1 = S - O; T2 = D - O; V = U - T2; V = T1*V; T1 = T2*As; T1 = T2 - T1; D = addK(V + T1) + O"},
    {B(OMDC), B(SC), "D = S", "D = S"},
    {B(OMDC), B(OMSC), "T1 = S*D; T2 = S - T1; T1 = D - T1; D = addK(T1 + T2) + O",
     "T1 = S - O; T2 = D - O; V = T1*T2; T1 = T1 - V; T2 = T2 - V; D = addK(T1 + T2) + O"},
    {B(SA), B(ZERO, OMDA), "D = As*S", "T2 = S - O; T1 = As*T2; D = T1 + O"},
    {B(SA), B(ONE, DA), "T1 = S*As; D = short(T1 + D, T2)", "T2 = S - O; T1 = T2*As; D = addK(T1 + D) + Z"},
    {B(SA), B(SA), "T1 = S*As; T2 = D*As; D = addK(T1 + T2) + O",
     "T1 = S - O; T2 = D - O; V = T1*As; T1 = T2*As; D = addK(V + T1) + O"},
    {B(SA), B(OMSA), "T1 = U - As; T2 = T1*D; T1 = S*As; D = T1 + T2",
     "V = D - O; T1 = As*V; T2 = V - T1; V = S - O; T1 = V*As; D = addK(T1 + T2) + O"},
    {B(SA), B(SC), "T1 = S*D; T2 = As*S; D = addK(T1 + T2) + O",
     "T1 = S - O; T2 = D - O; V = T1*T2; T2 = As*T1; D = addK(V + T2) + O"},
    {B(SA), B(OMSC), "T1 = S*D; T2 = D - T1; T1 = As*S; D = addK(T1 + T2) + O",
     "T1 = S - O; T2 = D - O; V = T1*T2; T2 = As*T1; T1 = D - V; D = addK(T2 + T1) + Z"},
    {B(OMSA), B(ZERO, OMDA), "T1 = As*S; T2 = S - T1; D = T2", "T2 = S - O; T1 = As*T2; D = S - T1"},
    {B(OMSA), B(ONE, DA), "T1 = As*S; T2 = S - T1; D = addK(T2 + D) + O",
     "T2 = S - O; T1 = As*T2; V = T2 - T1; D = addK(V + D) + Z"},
    {B(OMSA), B(SA), "T2 = U - As; T1 = S*T2; T2 = D*As; D = T1 + T2",
     "T2 = U - As; T1 = S - O; T1 = T1*T2; T2 = D*As; D = T1 + T2"},
    {B(OMSA), B(OMSA), "V = As*S; T1 = S - V; V = As*D; T2 = D - V; D = addK(T1 + T2) + O",
     "T1 = S - O; T2 = D - O; V1 = As*T2; V2 = As*T1; T1 = T2 - V1; T2 = S - V2; D = addK(T1 + T2) + Z"},
    {B(OMSA), B(SC), "T2 = S*As; T1 = S - T2; T2 = D*S; D = addK(T1 + T2) + O",
     "T1 = S - O; T2 = D - O; V = T1*T2; T2 = As*T1; T1 = S - T2; D = addK(T1 + V) + Z"},
    {B(OMSA), B(OMSC), "V = As*S; T1 = S - V; V = S*D; T2 = D - V; D = addK(T1 + T2) + O",
     "T1 = S - O; T2 = D - O; V1 = T1*T2; V2 = As*T1; T1 = T2 - V1; T2 = S - V2; D = addK(T1 + T2) + Z"},
};

// Table 4: the alpha buffer Ad from As.
constexpr Row kTable4[] = {
    {B(ZERO), B(ZERO), "Ad = Z", nullptr},
    {B(ZERO), B(ONE), "Ad = Ad", nullptr},
    {B(ZERO), B(SA, SC), "Ad = As*Ad", nullptr},
    {B(ZERO), B(OMSA, OMSC), "T1 = As*Ad; Ad = Ad - T1", nullptr},
    {B(ZERO), B(DA), "Ad = Ad*Ad", nullptr},
    {B(ZERO), B(OMDA), "T1 = Ad*Ad; Ad = Ad - T1", nullptr},
    {B(ONE, SAS), B(ZERO), "Ad = As", nullptr},
    {B(ONE, SAS), B(ONE), "Ad = clampT(As + Ad, T2)", nullptr},
    {B(ONE, SAS), B(SA, SC), "T1 = As*Ad; Ad = sat(T1 + As)", nullptr},
    {B(ONE, SAS), B(OMSA, OMSC), "T1 = As*Ad; T1 = Ad - T1; Ad = sat(T1 + As)", nullptr},
    {B(ONE, SAS), B(DA), "T1 = Ad*Ad; Ad = sat(T1 + As)", nullptr},
    {B(ONE, SAS), B(OMDA), "T1 = Ad*Ad; T1 = Ad - T1; Ad = sat(T1 + As)", nullptr},
    {B(DC, DA), B(ZERO), "Ad = As*Ad", nullptr},
    {B(DC, DA), B(ONE), "T1 = As*Ad; Ad = sat(T1 + Ad)", nullptr},
    {B(DC, DA), B(SA, SC), "T1 = As*Ad; Ad = sat(T1 + T1)", nullptr},
    {B(DC, DA), B(OMSA, OMSC), "Ad = Ad", nullptr},
    {B(DC), B(DA), "T1 = Ad*Ad; T2 = As*Ad; Ad = sat(T1 + T2)", nullptr},
    {B(DC), B(OMDA), "T1 = Ad*Ad; T1 = Ad - T1; T2 = As*Ad; Ad = sat(T1 + T2)", nullptr},
    {B(DA), B(DA), "T1 = As*Ad; T2 = Ad*Ad; Ad = sat(T1 + T2)", nullptr},
    {B(DA), B(OMDA), "T1 = As*Ad; T2 = Ad*Ad; T2 = Ad - T2; Ad = sat(T1 + T2)", nullptr},
    {B(OMDC, OMDA), B(ZERO), "T1 = As*Ad; Ad = As - T1", nullptr},
    {B(OMDC, OMDA), B(ONE), "T1 = As*Ad; T1 = As - T1; Ad = sat(T1 + Ad)", nullptr},
    {B(OMDC, OMDA), B(SA, SC), "Ad = As", nullptr},
    {B(OMDC, OMDA), B(OMSA, OMSC), "T1 = As*Ad; T2 = As - T1; T1 = Ad - T1; Ad = sat(T1 + T2)", nullptr},
    {B(OMDC), B(DA), "T1 = As*Ad; T1 = As - T1; T2 = Ad*Ad; Ad = sat(T1 + T2)", nullptr},
    {B(OMDC), B(OMDA), "T1 = As*Ad; T1 = As - T1; T2 = Ad*Ad; T2 = Ad - T2; Ad = sat(T1 + T2)", nullptr},
    {B(OMDA), B(DA), "T1 = Ad*As; T1 = As - T1; T2 = Ad*Ad; Ad = sat(T1 + T2)", nullptr},
    {B(OMDA), B(OMDA), "T1 = Ad*As; T1 = As - T1; T2 = Ad*Ad; T2 = Ad - T2; Ad = sat(T1 + T2)", nullptr},
    {B(SA), B(ZERO), "Ad = As*As", nullptr},
    {B(SA), B(ONE), "T1 = As*As; Ad = sat(T1 + Ad)", nullptr},
    {B(SA), B(SA, SC), "T1 = As*As; T2 = Ad*As; Ad = sat(T1 + T2)", nullptr},
    {B(SA), B(OMSA, OMSC), "T1 = As*As; T2 = As*Ad; T2 = Ad - T2; Ad = sat(T1 + T2)", nullptr},
    {B(SA), B(DA), "T1 = As*As; T2 = Ad*Ad; Ad = sat(T1 + T2)", nullptr},
    {B(SA), B(OMDA), "T1 = As*As; T2 = Ad*Ad; T2 = Ad - T2; Ad = sat(T1 + T2)", nullptr},
    {B(OMSA), B(ZERO), "T1 = As*As; Ad = As - T1", nullptr},
    {B(OMSA), B(ONE), "T1 = As*As; T1 = As - T1; Ad = sat(T1 + Ad)", nullptr},
    {B(OMSA), B(SA, SC), "T1 = As*As; T1 = As - T1; T2 = As*Ad; Ad = sat(T1 + T2)", nullptr},
    {B(OMSA), B(OMSA, OMSC), "T1 = As*As; T1 = As - T1; T2 = Ad*As; T2 = Ad - T2; Ad = sat(T1 + T2)", nullptr},
    {B(OMSA), B(DA), "T1 = As*As; T1 = As - T1; T2 = Ad*Ad; Ad = sat(T1 + T2)", nullptr},
    {B(OMSA), B(OMDA), "T1 = As*As; T1 = As - T1; T2 = Ad*Ad; T2 = Ad - T2; Ad = sat(T1 + T2)", nullptr},
};

constexpr ULONG kFactors = 11;
// A table read into sequences by (source, destination); null: not in the table.
struct Table {
    std::array<Seq, 96> seqs;
    unsigned cSeqs = 0;
    std::array<std::array<const Seq*, kFactors>, kFactors> at{};
};

template <std::size_t N>
void vRead(Table& t, const Row (&rows)[N], bool bLow) {
    static_assert(N <= std::tuple_size_v<decltype(t.seqs)>, "room for every row");
    for (const Row& row : rows) {
        Seq& seq = t.seqs[t.cSeqs++];
        seq = ReadSeq(bLow ? row.textLow : row.text);
        for (ULONG sf = 0; sf < kFactors; ++sf) {
            for (ULONG df = 0; df < kFactors; ++df) {
                if ((row.src >> sf & 1) && (row.dst >> df & 1)) {
                    if (t.at[sf][df] != nullptr) {
                        DbgPrint("kzuBlend: factor pair %u, %u twice in a table\n", sf, df);
                        std::abort();
                    }
                    t.at[sf][df] = &seq;
                }
            }
        }
    }
}

enum : unsigned { TABLE_BLEND, TABLE_DST_ALPHA, TABLE_SRC_ALPHA, TABLE_SRC_ALPHA_LOW, TABLE_ALPHA_BUFFER, TABLES };

const Table& tableOf(unsigned which) {
    static const std::array<Table, TABLES> tables = [] {
        std::array<Table, TABLES> t{};
        vRead(t[TABLE_BLEND], kTable1, false);
        vRead(t[TABLE_DST_ALPHA], kTable2, false);
        vRead(t[TABLE_SRC_ALPHA], kTable3, false);
        vRead(t[TABLE_SRC_ALPHA_LOW], kTable3, true);
        vRead(t[TABLE_ALPHA_BUFFER], kTable4, false);
        return t;
    }();
    return tables[which];
}

// --- emitting a sequence -----------------------------------------------------------------
struct Ctx {
    N_HwRecord* hw;
    kzRenderProg* prog;
    ULONG bits;
    ULONG reg[NSYM];
    ULONG equalChannels;
};

void vEmitAdd(const Ctx& c, const Step& st) {
    const ULONG* r = c.reg;
    const ULONG R = r[st.r], A = r[st.a], Bv = r[st.b], T = r[st.t], Mv = r[M];
    const kzuCCDesc* cc = kzAllocCC(KZ_ADD_MACRO, KZ_CC_FRESH, nullptr);
    const kzuWriter emit{c.prog, c.bits, kSource};
    const kzuWriter where{c.prog, c.bits | cc->w[KZU_CC_PRED_WORD], kSource};
    const ULONG addc = cc->w[KZU_CC_ADDC_WORD], cmpgt = cc->w[KZU_CC_GT_WORD];
    StepOp op = st.op;
    if (Mv == 0) op = SAT;  // no maximum colour: every add step saturates
    if (op == SHORT && !c.equalChannels) op = CLAMPT;
    switch (op) {
    case SAT:
        emit(kzuInstr(addc, R, A, Bv));
        where(kzuInstr(KZU_OP_NOT, R, r[Z], 0));
        break;
    case CLAMPT: {
        const ULONG Wr = kzAllocRegisterResource(c.hw, c.prog, KZ_RES_WORK | KZ_RES_SHARED_SCRATCH, KZ_BLEND);
        emit(kzuInstr(addc, T, A, Bv));
        where(kzuInstr(cmpgt, T, T, Mv) | KZU_CLAMP);
        emit(kzuInstr(KZU_OP_COPY, Wr, T, 0));
        where(kzuInstr(KZU_OP_COPY, Wr, Mv, 0));
        emit(kzuInstr(KZU_OP_COPY, R, Wr, 0));
        kzReleaseRegisterResource(Wr, KZ_BLEND);
        break;
    }
    case ADDK: {
        const ULONG Wr = kzAllocRegisterResource(c.hw, c.prog, KZ_RES_WORK | KZ_RES_SHARED_SCRATCH, KZ_BLEND);
        emit(kzuInstr(addc, Wr, A, Bv));
        where(kzuInstr(cmpgt, R, Wr, Mv) | KZU_CLAMP);
        where(kzuInstr(KZU_OP_COPY, Wr, Mv, 0));
        emit(kzuInstr(KZU_OP_ADD, R, Wr, T));
        kzReleaseRegisterResource(Wr, KZ_BLEND);
        break;
    }
    case SHORT:
        emit(kzuInstr(addc, T, A, Bv));
        emit(kzuInstr(cmpgt, R, T, Mv) | KZU_CLAMP);
        where(kzuInstr(KZU_OP_COPY, R, Mv, 0));
        break;
    default: break;
    }
    kzReleaseCC(cc, KZ_ADD_MACRO);
}

// The placeholder rule: a pair outside the table places the placeholder
// word into a program that holds no instruction yet, and nothing otherwise.
void vPlaceholder(kzRenderProg* prog) {
    if (prog->instrCount == 0) _kzuEmit(prog, KZ_BLEND_PLACEHOLDER, kSource, __LINE__);
}

void vEmitSeq(Ctx c, unsigned which, ULONG sf, ULONG df) {
    const Seq* seq = sf < kFactors && df < kFactors ? tableOf(which).at[sf][df] : nullptr;
    // An entry of no steps leaves the pixel as it is, like the placeholder
    // pairs, and takes their rule: a program of no instruction at all has a
    // packet command word the rasterizers refuse.
    if (seq == nullptr || seq->placeholder || seq->cSteps == 0) {
        vPlaceholder(c.prog);
        return;
    }
    for (unsigned v = 0; v < 2; ++v) {
        if (seq->uses[v]) c.reg[V1 + v] = kzAllocRegisterResource(c.hw, c.prog, KZ_RES_WORK, KZ_BLEND);
    }
    auto release = [&](unsigned i, bool bBefore) {
        for (unsigned v = 0; v < 2; ++v) {
            if (seq->uses[v] && seq->lastStep[v] == i && seq->releaseBefore[v] == bBefore)
                kzReleaseRegisterResource(c.reg[V1 + v], KZ_BLEND);
        }
    };
    const kzuWriter emit{c.prog, c.bits, kSource};
    for (unsigned i = 0; i < seq->cSteps; ++i) {
        const Step& st = seq->steps[i];
        release(i, true);
        switch (st.op) {
        case COPY: emit(kzuInstr(KZU_OP_COPY, c.reg[st.r], c.reg[st.a], 0)); break;
        case MUL: emit(kzuInstr(KZU_OP_MUL, c.reg[st.r], c.reg[st.a], c.reg[st.b])); break;
        case SUB: emit(kzuInstr(KZU_OP_SUB, c.reg[st.r], c.reg[st.a], c.reg[st.b])); break;
        case ADD: emit(kzuInstr(KZU_OP_ADD, c.reg[st.r], c.reg[st.a], c.reg[st.b])); break;
        default: vEmitAdd(c, st); break;
        }
        release(i, false);
    }
}

Ctx ctxOf(N_HwRecord* hw, kzRenderProg* prog, ULONG bits, ULONG Zr, ULONG Ur, ULONG Or, ULONG Mr) {
    Ctx c{hw, prog, bits, {}, 0};
    c.reg[Z] = Zr;
    c.reg[U] = Ur;
    c.reg[O] = Or;
    c.reg[M] = Mr;
    return c;
}

}  // namespace

void _kzuBlend(N_HwRecord* hw, kzRenderProg* prog, ULONG depth, ULONG sf, ULONG df, ULONG S_, ULONG D_, ULONG T1_,
               ULONG T2_, ULONG bits, ULONG Z_, ULONG U_, ULONG O_, ULONG M_) {
    (void)depth;
    Ctx c = ctxOf(hw, prog, bits, Z_, U_, O_, M_);
    c.reg[S] = S_;
    c.reg[D] = D_;
    c.reg[T1] = T1_;
    c.reg[T2] = T2_;
    vEmitSeq(c, TABLE_BLEND, sf, df);
}

void _kzuBlendDstAlpha(N_HwRecord* hw, kzRenderProg* prog, ULONG depth, ULONG sf, ULONG df, ULONG S_, ULONG As_,
                       ULONG D_, ULONG Ad_, ULONG T1_, ULONG T2_, ULONG F_, ULONG bits, ULONG Z_, ULONG U_,
                       ULONG O_, ULONG M_) {
    (void)depth;
    Ctx c = ctxOf(hw, prog, bits, Z_, U_, O_, M_);
    c.reg[S] = S_;
    c.reg[As] = As_;
    c.reg[D] = D_;
    c.reg[Ad] = Ad_;
    c.reg[T1] = T1_;
    c.reg[T2] = T2_;
    c.reg[F] = F_;
    vEmitSeq(c, TABLE_DST_ALPHA, sf, df);
}

void _kzuBlendSrcAlpha(N_HwRecord* hw, kzRenderProg* prog, ULONG depth, ULONG sf, ULONG df, ULONG S_, ULONG As_,
                       ULONG D_, ULONG T1_, ULONG T2_, ULONG bits, ULONG Z_, ULONG U_, ULONG O_, ULONG M_) {
    Ctx c = ctxOf(hw, prog, bits, Z_, U_, O_, M_);
    c.reg[S] = S_;
    c.reg[As] = As_;
    c.reg[D] = D_;
    c.reg[T1] = T1_;
    c.reg[T2] = T2_;
    c.equalChannels = hw != nullptr ? hw->grey : 0;
    vEmitSeq(c, depth >= 16 ? TABLE_SRC_ALPHA : TABLE_SRC_ALPHA_LOW, sf, df);
}

void _kzuBlendAlphaBuffer(N_HwRecord* hw, kzRenderProg* prog, ULONG depth, ULONG sf, ULONG df, ULONG As_, ULONG Ad_,
                          ULONG T1_, ULONG T2_, ULONG bits, ULONG Z_, ULONG U_, ULONG O_, ULONG M_) {
    (void)depth;
    Ctx c = ctxOf(hw, prog, bits, Z_, U_, O_, M_);
    c.reg[As] = As_;
    c.reg[Ad] = Ad_;
    c.reg[T1] = T1_;
    c.reg[T2] = T2_;
    vEmitSeq(c, TABLE_ALPHA_BUFFER, sf, df);
}

void _kzuBlendSaturateFactor(kzRenderProg* prog, ULONG As_, ULONG Ad_, ULONG F_, ULONG T1_, ULONG bits, ULONG U_) {
    const kzuCCDesc* cc = kzAllocCC(KZ_BLEND, KZ_CC_FRESH, nullptr);
    const kzuWriter emit{prog, bits, kSource};
    emit(kzuInstr(KZU_OP_COPY, T1_, Ad_, 0));  // keep the alpha buffer's value
    emit(kzuInstr(KZU_OP_SUB, Ad_, U_, Ad_));  // 1 - Ad
    // min(As, 1 - Ad): the A operand is As + 0x1000.
    emit(kzuInstr(cc->w[0], Ad_, As_, Ad_) | KZU_IF_CC0);
    emit(kzuInstr(KZU_OP_COPY, F_, Ad_, 0));
    emit(kzuInstr(KZU_OP_COPY, Ad_, T1_, 0));  // the alpha buffer as it was
    kzReleaseCC(cc, KZ_BLEND);
}
