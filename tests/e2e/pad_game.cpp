// The game with a virtual pad, for the pad session under Xvfb (this machine has no
// /dev/uinput, so the pad lives in the process, through SDL's virtual joystick API): the
// real game's run_game on the main thread, and a thread that reads commands from standard
// input, one a line:
//   press NAME | release NAME | tap NAME   a button: a b x y back start up down left right
//                                          lb rb (tap: pressed for 60 ms)
//   axis NAME VALUE                        lx ly (-32768..32767), lt rt (0..32767)
//   unplug | plug                          the pad goes away or comes back
// The pad is a plain joystick that SDL knows no mapping for, with its buttons in an order of
// its own; SDL_GAMECONTROLLERCONFIG gives it the mapping, so the pad works only if that
// variable is honoured. It is plugged in before the window opens, as a pad connected before
// start-up. Built as "murkwingdiver" in a folder of its own, so its window has the game's
// title.
#include <SDL.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <map>
#include <sstream>
#include <string>
#include <thread>

#include "game/play.h"

namespace {

constexpr const char* PAD_NAME = "Murkwing test pad";
// The pad's own raw buttons and axes for each name, and the mapping that tells SDL so.
const std::map<std::string, int> BUTTONS = {
    {"start", 0}, {"back", 1}, {"y", 2}, {"x", 3}, {"b", 4}, {"a", 5},
    {"up", 6}, {"down", 7}, {"left", 8}, {"right", 9}, {"lb", 10}, {"rb", 11}};
const std::map<std::string, int> AXES = {{"lx", 0}, {"ly", 1}, {"lt", 2}, {"rt", 3}};
constexpr const char* MAPPING =
    "start:b0,back:b1,y:b2,x:b3,b:b4,a:b5,dpup:b6,dpdown:b7,dpleft:b8,dpright:b9,"
    "leftshoulder:b10,rightshoulder:b11,leftx:a0,lefty:a1,lefttrigger:+a2,righttrigger:+a3,";

SDL_Joystick* pad = nullptr;

// Plugs the pad in; false when SDL refused.
bool plug() {
    SDL_VirtualJoystickDesc desc{};
    desc.version = SDL_VIRTUAL_JOYSTICK_DESC_VERSION;
    desc.type = SDL_JOYSTICK_TYPE_UNKNOWN;  // nothing SDL would map by itself
    desc.naxes = static_cast<Uint16>(AXES.size());
    desc.nbuttons = static_cast<Uint16>(BUTTONS.size());
    desc.name = PAD_NAME;
    const int index = SDL_JoystickAttachVirtualEx(&desc);
    if (index < 0) return false;
    pad = SDL_JoystickOpen(index);  // the virtual joystick's values are set through a handle
    return pad != nullptr;
}

void unplug() {
    if (!pad) return;
    const SDL_JoystickID id = SDL_JoystickInstanceID(pad);
    SDL_JoystickClose(pad);
    pad = nullptr;
    for (int i = 0; i < SDL_NumJoysticks(); ++i) {
        if (SDL_JoystickGetDeviceInstanceID(i) == id) SDL_JoystickDetachVirtual(i);
    }
}

// The mapping of the pad for SDL_GAMECONTROLLERCONFIG: its GUID (as SDL makes it for a
// virtual joystick, without the name's checksum, which mappings leave out), name, buttons.
std::string pad_mapping() {
    if (!plug()) return "";
    SDL_JoystickGUID guid = SDL_JoystickGetGUID(pad);
    guid.data[2] = guid.data[3] = 0;
    char text[33];
    SDL_JoystickGetGUIDString(guid, text, sizeof(text));
    unplug();
    return std::string(text) + "," + PAD_NAME + "," + MAPPING + "platform:" + SDL_GetPlatform() + ",";
}

void set_button(const std::string& name, bool down) {
    auto it = BUTTONS.find(name);
    if (pad && it != BUTTONS.end()) SDL_JoystickSetVirtualButton(pad, it->second, down ? SDL_PRESSED : SDL_RELEASED);
}

void drive() {
    std::string line;
    while (std::getline(std::cin, line)) {
        std::istringstream words(line);
        std::string command, name;
        int value = 0;
        words >> command >> name >> value;
        if (command == "press" || command == "release") {
            set_button(name, command == "press");
        } else if (command == "tap") {
            set_button(name, true);
            std::this_thread::sleep_for(std::chrono::milliseconds(60));
            set_button(name, false);
        } else if (command == "axis" && pad && AXES.count(name)) {
            SDL_JoystickSetVirtualAxis(pad, AXES.at(name), static_cast<Sint16>(value));
        } else if (command == "unplug") {
            unplug();
        } else if (command == "plug") {
            if (!pad) plug();
        }
    }
}

}  // namespace

int main() {
    // SDL reads SDL_GAMECONTROLLERCONFIG when its joystick layer starts, so the mapping is
    // made in one start of that layer and given to the next.
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");  // as the game: a signal ends it
    const std::string mapping = SDL_Init(SDL_INIT_JOYSTICK) == 0 ? pad_mapping() : "";
    SDL_Quit();
    setenv("SDL_GAMECONTROLLERCONFIG", mapping.c_str(), 1);
    if (mapping.empty() || SDL_Init(SDL_INIT_JOYSTICK) != 0 || !plug()) {
        std::fprintf(stderr, "pad_game: no virtual pad: %s\n", SDL_GetError());
        return 3;
    }
    std::thread(drive).detach();  // ends with the process
    return run_game();
}
