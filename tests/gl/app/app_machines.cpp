// Which scenes of the application's tables a machine does not draw, and
// why: a machine that cannot draw the scene, or a known fault the pair
// shows. Every entry names the family, the scene and the machine; the test
// skips naming the reason.
#include "app_gl.h"

namespace glapp_tests {

namespace {

// Known faults of a scene on a machine.
const glmachines::MachineFault kMachineFaults[] = {
    {"", "", "", ""},
};

}  // namespace

const char* MachineSkip(const std::string& family, const Scene& scene, const Machine& machine) {
    if (const glmachines::MachineFault* f = glmachines::FaultOf(kMachineFaults, family, scene.name, machine.name))
        return f->shows;
    return nullptr;
}

}  // namespace glapp_tests
