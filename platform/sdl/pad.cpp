// Gamepads in the SDL window: opens every pad the game-controller layer knows (a mapping
// from SDL's database, SDL_GAMECONTROLLERCONFIG, or one SDL makes for a known layout) when
// it is added, before start-up or while playing, closes it when it goes, and hands its
// buttons and axes to the shared pad rules by the pad's instance id.
#include "platform/sdl/pad.h"

#include <SDL.h>

#include <map>

#include "platform/pad.h"

namespace {

// The shared rules number buttons and axes as SDL does.
constexpr bool same(int ours, int sdls) { return ours == sdls; }
static_assert(same(pad::BUTTON_A, SDL_CONTROLLER_BUTTON_A) && same(pad::BUTTON_START, SDL_CONTROLLER_BUTTON_START) &&
              same(pad::BUTTON_DPAD_RIGHT, SDL_CONTROLLER_BUTTON_DPAD_RIGHT));
static_assert(same(pad::AXIS_LEFT_Y, SDL_CONTROLLER_AXIS_LEFTY) &&
              same(pad::AXIS_RIGHT_TRIGGER, SDL_CONTROLLER_AXIS_TRIGGERRIGHT));

bool started = false;  // refresh thread only, as the pads below

// Made on first use and never destroyed: the window may open during other statics'
// set-up, and the refresh thread closes the pads at exit, after statics are gone.
std::map<SDL_JoystickID, SDL_GameController*>& open_controllers() {
    static auto* controllers = new std::map<SDL_JoystickID, SDL_GameController*>;
    return *controllers;
}

int64_t now_ms() { return static_cast<int64_t>(SDL_GetTicks64()); }

void add_pad(int device_index) {
    SDL_GameController* controller = SDL_GameControllerOpen(device_index);
    if (!controller) return;  // gone again, or not a pad after all
    const SDL_JoystickID id = SDL_JoystickInstanceID(SDL_GameControllerGetJoystick(controller));
    if (open_controllers().count(id)) {
        SDL_GameControllerClose(controller);  // SDL counts opens; keep one
        return;
    }
    open_controllers()[id] = controller;
}

void remove_pad(SDL_JoystickID id) {
    pad::remove(id);
    auto it = open_controllers().find(id);
    if (it == open_controllers().end()) return;
    SDL_GameControllerClose(it->second);
    open_controllers().erase(it);
}

}  // namespace

bool open_pads() {
    started = SDL_InitSubSystem(SDL_INIT_GAMECONTROLLER) == 0;
    return started;
}

bool handle_pad_event(const SDL_Event& event) {
    switch (event.type) {
        case SDL_CONTROLLERDEVICEADDED: add_pad(event.cdevice.which); return true;
        case SDL_CONTROLLERDEVICEREMOVED: remove_pad(event.cdevice.which); return true;
        case SDL_CONTROLLERBUTTONDOWN:
        case SDL_CONTROLLERBUTTONUP:
            pad::press(event.cbutton.which, event.cbutton.button, event.cbutton.state == SDL_PRESSED, now_ms());
            return true;
        case SDL_CONTROLLERAXISMOTION:
            pad::move_axis(event.caxis.which, event.caxis.axis, event.caxis.value, now_ms());
            return true;
        default: return false;
    }
}

void repeat_pads() { pad::repeat(now_ms()); }

void close_pads() {
    for (auto& [id, controller] : open_controllers()) {
        pad::remove(id);
        SDL_GameControllerClose(controller);
    }
    open_controllers().clear();
    if (started) SDL_QuitSubSystem(SDL_INIT_GAMECONTROLLER);
    started = false;
}
