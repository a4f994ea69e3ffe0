// The phone's own keyboard for the name entry (see phone_keyboard.h). Phone keyboards
// rarely send real key presses: they compose text into the focused field and report a key
// without a name (keyCode 229), so the field's text is the truth. After each change the
// difference from what was already passed on becomes key codes: a Backspace for every
// character gone from the end, then the new characters. The field keeps one space before
// the typing, so that Backspace on an empty name still has something to delete and is
// seen. Keys that the keyboard does send as key presses (Enter, often Backspace) are the
// document's, as on a desktop keyboard, and their default of editing the field is
// prevented, so nothing arrives twice.
#include "platform/web/phone_keyboard.h"

#include <emscripten.h>

#include <algorithm>
#include <vector>

#include "platform/core.h"
#include "platform/key_translation.h"
#include "platform/platform.h"
#include "platform/screen.h"

namespace {

// Identifiers of the fingers that brought up the keyboard and have not lifted yet.
std::vector<long>& keyboard_fingers() {
    static std::vector<long> fingers;
    return fingers;
}

// Sets up Module.murkwingPhone: open while the game takes text, keyboardUp once the field
// was focused by a touch or typed into (the keyboard is evidently there), touched once the
// page has seen a finger (a player on a touch screen), shown the field's text already
// passed on. The prompt "#type-prompt" shows while a touch player has no keyboard yet.
EM_JS(void, web_phone_listen, (), {
    const input = document.getElementById('name-input');
    const prompt = document.getElementById('type-prompt');
    if (!input) return;
    const phone = {input: input, open: false, keyboardUp: false, touched: false, shown: ' '};
    Module.murkwingPhone = phone;
    phone.showPrompt = function() {
        if (prompt) prompt.hidden = !(phone.open && phone.touched && !phone.keyboardUp);
    };
    // Focus from a touch brings up the keyboard; elsewhere it may not (the field is then
    // focused, but the keyboard waits for a tap).
    phone.focus = function(byTouch) {
        input.focus({preventScroll: true});
        if (byTouch && document.activeElement === input) phone.keyboardUp = true;
        phone.showPrompt();
    };
    function take(event) {
        const before = Array.from(phone.shown), now = Array.from(input.value);
        let same = 0;
        while (same < before.length && same < now.length && before[same] === now[same]) ++same;
        if (phone.open) {
            for (let i = same; i < before.length; ++i) _web_phone_typed(8);
            for (let i = same; i < now.length; ++i) _web_phone_typed(now[i].codePointAt(0));
        }
        if (input.value.length === 0 && !event.isComposing) input.value = ' ';
        phone.shown = input.value;
        phone.keyboardUp = true;
        phone.showPrompt();
    }
    input.addEventListener('input', take);
    input.addEventListener('compositionend', take);
    input.addEventListener('beforeinput', function(event) {
        if (event.inputType === 'insertLineBreak' || event.inputType === 'insertParagraph') {
            event.preventDefault();
            if (phone.open) _web_phone_typed(13);
        }
    });
    input.addEventListener('blur', function() {
        phone.keyboardUp = false;
        phone.showPrompt();
    });
});

// The name entry opens (the field emptied, and focused at once for a touch player, which
// brings up the keyboard where the browser allows it outside a touch) or ends (the field
// loses the focus and the keyboard goes).
EM_JS(void, web_phone_entry, (int open), {
    const phone = Module.murkwingPhone;
    if (!phone) return;
    phone.open = !!open;
    phone.keyboardUp = false;
    phone.input.value = ' ';
    phone.shown = ' ';
    if (open && phone.touched) phone.focus(false);
    if (!open) phone.input.blur();
    phone.showPrompt();
});

// A finger landed (starting) or a keyboard finger lifted; notes the touch player and
// focuses the field when the open entry still waits for the keyboard. 1 when it did.
EM_JS(int, web_phone_touch, (int starting), {
    const phone = Module.murkwingPhone;
    if (!phone) return 0;
    phone.touched = true;
    if (!phone.open || (starting && phone.keyboardUp)) return 0;
    phone.focus(true);
    return 1;
});

void show_phone_keyboard(bool open) { web_phone_entry(open ? 1 : 0); }

}  // namespace

// What the phone's keyboard typed, one character (a Unicode code point) at a time: 8 is
// Backspace, 13 Enter; other characters as their code page 437 byte, or nothing.
extern "C" EMSCRIPTEN_KEEPALIVE void web_phone_typed(int code_point) {
    CallLock guard;
    if (code_point == KEY_BACKSPACE || code_point == KEY_ENTER) core::post_key(code_point);
    else if (code_point > 0) {
        if (int code = cp437_from_unicode(static_cast<uint32_t>(code_point))) core::post_key(code);
    }
}

void listen_to_phone_keyboard() {
    web_phone_listen();
    core::set_text_entry_handler(show_phone_keyboard);
}

void phone_keyboard_sees_touch(int event_type, const EmscriptenTouchEvent& event) {
    std::vector<long>& fingers = keyboard_fingers();
    if (event_type == EMSCRIPTEN_EVENT_TOUCHSTART) {
        if (!web_phone_touch(1)) return;
        for (int i = 0; i < event.numTouches; ++i) {
            if (event.touches[i].isChanged) fingers.push_back(event.touches[i].identifier);
        }
        return;
    }
    if (event_type != EMSCRIPTEN_EVENT_TOUCHEND && event_type != EMSCRIPTEN_EVENT_TOUCHCANCEL) return;
    bool lifted = false;
    for (int i = 0; i < event.numTouches; ++i) {
        const auto at = std::find(fingers.begin(), fingers.end(), event.touches[i].identifier);
        if (!event.touches[i].isChanged || at == fingers.end()) continue;
        fingers.erase(at);
        lifted = true;
    }
    // Some browsers show the keyboard only for a focus at the touch's end.
    if (lifted && event_type == EMSCRIPTEN_EVENT_TOUCHEND) web_phone_touch(0);
}

bool phone_keyboard_has_finger(long identifier) {
    const std::vector<long>& fingers = keyboard_fingers();
    return std::find(fingers.begin(), fingers.end(), identifier) != fingers.end();
}
