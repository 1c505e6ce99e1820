// The source position that the fatal-error report names: every exported
// command records its module and line on entry, and so do the internal
// operations of the platform modules (texture manager, Direct3D helpers,
// presentation), so a fault anywhere in the process is reported at the
// position the library recorded last, which may be the command that called
// the faulting code rather than the faulting line. Portable: no platform
// headers.
#pragma once

namespace korrin {

struct ErrorPosition {
    const char* module;  // module name, or null while nothing was recorded
    int line;            // line within that module's source
};

extern ErrorPosition errorPosition;  // written by RECORD_POSITION, read by the report

}  // namespace korrin

#define RECORD_POSITION(moduleName) \
    (::korrin::errorPosition.module = (moduleName), ::korrin::errorPosition.line = __LINE__)

// Module names the report prints.
#define MODULE_MAIN "Main Module"
#define MODULE_OBJECT_MANAGER "ObjectManager"
#define MODULE_TEXTURE_MANAGER "TextureManager"
#define MODULE_D3D9_HELPERS "D3D9HelperFunctions"
#define MODULE_D3D9_INC "d3d9_inc"
#define MODULE_KEYBOARD "DIK8"
#define MODULE_DINPUT "DInput8"
#define MODULE_MOUSE "DIM8"
#define MODULE_JOYSTICK "DIJ8"
#define MODULE_ULH "ULH"
#define MODULE_SOUND "DS8"
#define MODULE_STUBS "Dummys"
