// The game with a virtual pad (SDL's virtual joystick; no /dev/uinput here), built as
// "murkwingdiver" for the title. Commands on standard input, one a line: "press|release|tap
// NAME" (BUTTONS below; tap holds 60 ms), "axis lx|ly VALUE", "unplug", "plug". It is a plain
// joystick, plugged in before the window opens, that only SDL_GAMECONTROLLERCONFIG maps.
#include <SDL.h>

#include <algorithm>
#include <chrono>
#include <iostream>
#include <sstream>
#include <string_view>
#include <thread>

#include "game/play.h"

namespace {

// Raw button k is BUTTONS[k]. Plain constants: the driver may outlive main's statics.
constexpr std::string_view BUTTONS[] = {"start", "back", "y", "x", "b", "a", "up", "down", "left", "right"};
constexpr const char* MAPPING = ",Murkwing test pad,start:b0,back:b1,y:b2,x:b3,b:b4,a:b5,dpup:b6,"
    "dpdown:b7,dpleft:b8,dpright:b9,leftx:a0,lefty:a1,platform:";
SDL_Joystick* pad = nullptr;

bool plug() {
    SDL_VirtualJoystickDesc desc{};
    desc.version = SDL_VIRTUAL_JOYSTICK_DESC_VERSION;
    desc.naxes = 2;
    desc.nbuttons = 10;
    desc.name = "Murkwing test pad";
    const int index = SDL_JoystickAttachVirtualEx(&desc);
    return (pad = index < 0 ? nullptr : SDL_JoystickOpen(index)) != nullptr;
}

void unplug() {
    const SDL_JoystickID id = SDL_JoystickInstanceID(pad);
    SDL_JoystickClose(pad);
    pad = nullptr;
    for (int i = 0; i < SDL_NumJoysticks(); ++i) {
        if (SDL_JoystickGetDeviceInstanceID(i) == id) SDL_JoystickDetachVirtual(i);
    }
}

void drive() {
    for (std::string line, command, name; std::getline(std::cin, line);) {
        int value = 0;
        std::istringstream(line) >> command >> name >> value;
        if (command == "unplug" && pad) unplug();
        if (command == "plug" && !pad) plug();
        if (command == "axis" && pad) SDL_JoystickSetVirtualAxis(pad, name == "ly", static_cast<Sint16>(value));
        const int button = static_cast<int>(std::find(BUTTONS, BUTTONS + 10, name) - BUTTONS);
        if (!pad || button == 10) continue;
        if (command != "release") SDL_JoystickSetVirtualButton(pad, button, SDL_PRESSED);
        if (command == "tap") std::this_thread::sleep_for(std::chrono::milliseconds(60));
        if (command != "press") SDL_JoystickSetVirtualButton(pad, button, SDL_RELEASED);
    }
}

}  // namespace

int main() {
    // SDL reads the mapping when its joystick layer starts: one start finds the pad's GUID
    // (mappings leave out its bytes 2 and 3, the name's checksum), the next one maps it.
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    if (SDL_Init(SDL_INIT_JOYSTICK) != 0 || !plug()) return 3;
    SDL_JoystickGUID guid = SDL_JoystickGetGUID(pad);
    guid.data[2] = guid.data[3] = 0;
    char text[33];
    SDL_JoystickGetGUIDString(guid, text, sizeof(text));
    unplug();
    SDL_Quit();
    setenv("SDL_GAMECONTROLLERCONFIG", (text + std::string(MAPPING) + SDL_GetPlatform() + ",").c_str(), 1);
    if (SDL_Init(SDL_INIT_JOYSTICK) != 0 || !plug()) return 3;
    std::thread(drive).detach();
    return run_game();
}
