// The game (titled so) with a virtual pad, driven by lines on standard input: "tap NAME"
// (BUTTONS, pressed and released), "axis ly VALUE", "unplug", "plug". A plain joystick, plugged in
// before the window opens, that only SDL_GAMECONTROLLERCONFIG maps.
#include <SDL.h>

#include <algorithm>
#include <chrono>
#include <iostream>
#include <sstream>
#include <string_view>
#include <thread>

#include "game/play.h"

namespace {

// Raw button k; plain constants, as the driver may outlive main's statics.
constexpr std::string_view BUTTONS[] = {"start", "back", "y", "x", "b", "a", "up", "down", "left", "right"};
constexpr const char* MAPPING = ",Murkwing test pad,start:b0,back:b1,y:b2,x:b3,b:b4,a:b5,dpup:b6,"
    "dpdown:b7,dpleft:b8,dpright:b9,leftx:a0,lefty:a1,platform:";
SDL_Joystick* pad = nullptr;

void plug() {
    SDL_VirtualJoystickDesc desc{};
    desc.version = SDL_VIRTUAL_JOYSTICK_DESC_VERSION;
    desc.naxes = 2;
    desc.nbuttons = 10;
    desc.name = "Murkwing test pad";
    pad = SDL_JoystickOpen(SDL_JoystickAttachVirtualEx(&desc));  // values are set through a handle
}

void unplug() {
    const SDL_JoystickID id = SDL_JoystickInstanceID(pad);
    SDL_JoystickClose(pad);
    for (int i = 0; i < SDL_NumJoysticks(); ++i) {
        if (SDL_JoystickGetDeviceInstanceID(i) == id) SDL_JoystickDetachVirtual(i);
    }
}

// Waits up to 10 s until `done` holds: the game's refresh thread updates the pad.
template <class Predicate>
void wait_for(Predicate done) {
    for (int i = 0; i < 5000 && !done(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(2));
}

// Whether the game has the pad open as a controller (it opens it on the plug-in event).
bool game_has_pad() { return SDL_GameControllerFromInstanceID(SDL_JoystickInstanceID(pad)) != nullptr; }

// Each change is held until the game's refresh thread has read it from the pad (and so
// turned it into an event), however late that thread runs on a loaded machine.
void drive() {
    for (std::string line; std::getline(std::cin, line);) {
        std::string command, name;
        int value = 0;
        std::istringstream(line) >> command >> name >> value;
        const int button = static_cast<int>(std::find(BUTTONS, BUTTONS + 10, name) - BUTTONS);
        if (command == "unplug") unplug();
        if (command == "plug") plug();
        if (command != "unplug") wait_for(game_has_pad);
        if (command == "axis") {
            SDL_JoystickSetVirtualAxis(pad, 1, static_cast<Sint16>(value));
            wait_for([&] { return SDL_JoystickGetAxis(pad, 1) == value; });
        }
        if (command != "tap" || button == 10) continue;
        SDL_JoystickSetVirtualButton(pad, button, SDL_PRESSED);
        wait_for([&] { return SDL_JoystickGetButton(pad, button) == SDL_PRESSED; });
        SDL_JoystickSetVirtualButton(pad, button, SDL_RELEASED);
        wait_for([&] { return SDL_JoystickGetButton(pad, button) == SDL_RELEASED; });
    }
}

}  // namespace

int main() {
    // One start of SDL's joysticks finds the GUID (less the name's checksum), the next maps it.
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    SDL_Init(SDL_INIT_JOYSTICK);
    plug();
    SDL_JoystickGUID guid = SDL_JoystickGetGUID(pad);
    guid.data[2] = guid.data[3] = 0;
    char text[33];
    SDL_JoystickGetGUIDString(guid, text, sizeof(text));
    unplug();
    SDL_Quit();
    setenv("SDL_GAMECONTROLLERCONFIG", (text + std::string(MAPPING) + SDL_GetPlatform() + ",").c_str(), 1);
    SDL_Init(SDL_INIT_JOYSTICK);
    plug();
    if (!pad) return 3;
    std::thread(drive).detach();
    return run_game();
}
