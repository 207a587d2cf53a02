"""Reads the connected window through the accessibility bus, as a screen reader does.

Started by run_atspi_test.sh inside its own session bus, with the program on a virtual display
connected to a simulated unit. Every control of the window and of each popup is read over
AT-SPI (pyatspi) and its value compared with what the window shows, taken from the unit's
parameter set as `quellaton-cli show --json` prints it. Then values are changed by the user
(keys and the value interface) and by the unit (a recalled preset), and read again.

Usage: read_window.py SHOW.json STATUS.json PORT SHOW_AFTER_RECALL.json
"""

import json
import sys
import time

import pyatspi

failures = []


def check(ok, what):
    if not ok:
        failures.append(what)
        print("FAIL:", what, flush=True)


def wait_for(condition, seconds, what):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        try:
            if condition():
                return True
        except Exception:  # the tree changes while it is read
            pass
        time.sleep(0.1)
    failures.append("timed out: " + what)
    print("FAIL: timed out:", what, flush=True)
    return False


def application():
    for app in pyatspi.Registry.getDesktop(0):
        if app is not None and app.name and app.name.lower() == "quellaton":
            return app
    return None


def find_all(node, predicate):
    found = []
    stack = [node]
    while stack:
        current = stack.pop()
        try:
            if predicate(current):
                found.append(current)
            if current.getRoleName() == "combo box":
                continue  # its entries are read through it
            stack.extend(child for child in current if child is not None)
        except Exception:
            continue
    return found


_controls = {}


def control(app, role, name):
    """The control of that role and name; walking the tree over the bus is slow, so the walk is
    kept and done again only when a control is not (or no longer) where it was."""
    cached = _controls.get((role, name))
    try:
        if cached is not None and cached.name == name and cached.getRoleName() == role:
            return cached
    except Exception:
        pass
    _controls.clear()
    for node in find_all(app, lambda n: n.getRoleName() not in ("filler", "panel", "label")):
        try:
            key = (node.getRoleName(), node.name)
        except Exception:
            continue
        # A popup keeps its controls when hidden: the one on screen is the one meant.
        if key not in _controls or node.getState().contains(pyatspi.STATE_SHOWING):
            _controls[key] = node
    if (role, name) not in _controls:
        raise LookupError("%s %r not found" % (role, name))
    return _controls[(role, name)]


def text_of(node):
    return node.queryText().getText(0, -1)


def selected_entries(combo):
    entries = combo[0]
    return [e.name for e in entries if e is not None and e.getState().contains(pyatspi.STATE_SELECTED)]


def checked(node):
    return node.getState().contains(pyatspi.STATE_CHECKED)


def press(app, role, name):
    node = control(app, role, name)
    action = node.queryAction()
    names = [action.getName(i) for i in range(action.nActions)]
    action.doAction(names.index("Press") if "Press" in names else 0)


def key(keysym):
    pyatspi.Registry.generateKeyboardEvent(keysym, None, pyatspi.KEY_SYM)


class Expected:
    """The values the window shows, by section and parameter, as quellaton-cli prints them."""

    def __init__(self, path):
        with open(path) as f:
            rows = json.load(f)["parameters"]
        self.values = {(r["section"], r["parameter"]): r["value"] for r in rows}

    def __call__(self, section, parameter):
        return self.values[(section, parameter)]


def db_number(text):
    return float(text.split()[0])


def check_field(app, name, want):
    got = text_of(control(app, "text", name))
    check(got == want, "%s reads %r, shows %r" % (name, got, want))


def check_combo(app, name, want):
    combo = control(app, "combo box", name)
    got = text_of(combo)
    check(got == want, "%s reads %r, shows %r" % (name, got, want))
    selected = selected_entries(combo)
    check(selected == [want], "%s has %r selected in its list, shows %r" % (name, selected, want))
    check(combo.name == name, "%s is named %r" % (name, combo.name))


def check_table(app, expected, section):
    """The equaliser table and the crossover rows, showing `section`."""
    for band in range(1, 7):
        prefix = "%s band %d" % (section, band)
        check_field(app, prefix + " frequency", expected(section, "Band %d frequency" % band))
        check_field(app, prefix + " Q", expected(section, "Band %d Q" % band))
        check_field(app, prefix + " gain", expected(section, "Band %d gain" % band))
        check_combo(app, prefix + " type", expected(section, "Band %d type" % band))
        handle = control(app, "image", prefix + " handle")
        for part in (expected(section, "Band %d frequency" % band),
                     expected(section, "Band %d gain" % band)):
            check(part in handle.description,
                  "%s handle says %r, not %r" % (prefix, handle.description, part))
    for kind, row in (("high-pass", "HPF"), ("low-pass", "LPF")):
        check_field(app, "%s %s crossover frequency" % (section, kind),
                    expected(section, row + " frequency"))
        check_combo(app, "%s %s crossover type" % (section, kind), expected(section, row + " type"))


def check_value(app, role, name, text, number):
    node = control(app, role, name)
    got = text_of(node)
    check(got == text, "%s reads %r, shows %r" % (name, got, text))
    value = node.queryValue()
    check(abs(value.currentValue - number) < 1e-6,
          "%s value %s, shows %s" % (name, value.currentValue, number))
    check(value.minimumValue <= value.currentValue <= value.maximumValue,
          "%s value %s outside %s..%s" % (name, value.currentValue, value.minimumValue,
                                          value.maximumValue))


def check_ways(app, expected):
    for way in ("High", "Mid", "Low"):
        check(checked(control(app, "check box", way + " way mute")) == (expected(way, "Mute") == "on"),
              way + " mute state")
        check(checked(control(app, "check box", way + " way polarity"))
              == (expected(way, "Polarity") == "-"), way + " polarity state")

        press(app, "check box", way + " way equaliser panel")
        wait_for(lambda: control(app, "chart", "Response graph of " + way), 5, way + " table")
        check_table(app, expected, way)

        press(app, "check box", way + " way gain panel")
        gain = expected(way, "Gain")
        fader = way + " gain fader"
        wait_for(lambda: text_of(control(app, "slider", fader)) == gain, 5, fader)
        check_value(app, "slider", fader, gain, db_number(gain))
        check_field(app, way + " gain", gain)
        press(app, "push button", "Close %s gain panel" % way)

        press(app, "check box", way + " way limiter panel")
        for part in ("threshold", "attack", "release"):
            check_combo(app, "%s limiter %s" % (way, part), expected(way, "Limiter " + part))
        press(app, "push button", "Close %s limiter panel" % way)

        press(app, "check box", way + " way delay panel")
        delay = expected(way, "Delay")
        bar = way + " delay"
        wait_for(lambda: text_of(control(app, "scroll bar", bar)).startswith(delay + ", "), 5, bar)
        check_value(app, "scroll bar", bar, text_of(control(app, "scroll bar", bar)),
                    db_number(delay))
        check_field(app, way + " delay time", delay)


def main():
    expected = Expected(sys.argv[1])
    with open(sys.argv[2]) as f:
        status = json.load(f)
    port = sys.argv[3]
    after_recall = Expected(sys.argv[4])

    app = None
    wait_for(lambda: application() is not None, 30, "the program on the bus")
    app = application()
    # The start-up search ends and the connection group appears.
    wait_for(lambda: control(app, "push button", "Connect").getState().contains(pyatspi.STATE_SHOWING),
             60, "the start-up search")
    press(app, "push button", "Connect")
    wait_for(lambda: control(app, "push button", "Disconnect"), 20, "the connection")
    state = find_all(app, lambda n: n.getRoleName() == "label" and n.description == "Connection state")
    wait_for(lambda: state[0].name == "Connected " + port, 20, "the connected state")

    # The connection row and the readouts.
    check_combo(app, "COM port", port)
    check_combo(app, "Device ID", "1")
    # The readouts follow the unit's status replies, which come with the polls.
    def readout(description):
        found = find_all(app, lambda n: n.description == description)
        return found[0].name.strip() if found else None

    wait_for(lambda: readout("Temperature of the unit in °C") == status["temperature"], 10,
             "the temperature readout")
    wait_for(lambda: readout("Attenuation of the unit") == status["attenuation"], 10,
             "the attenuation readout")
    last = find_all(app, lambda n: n.getRoleName() == "label" and n.name.startswith("Last loaded preset:"))
    check(last and last[0].name.split(":")[1].strip() == status["lastLoaded"], "last loaded preset")
    check_combo(app, "Device preset to load", status["presets"][0]["entry"])

    # Main: its table, the DELAY group and the SIGNAL group.
    check_table(app, expected, "Main")
    level = expected("Main", "Level")
    check_value(app, "slider", "Main level", level, -60.2 if level == "Mute" else db_number(level))
    delay_bar = control(app, "scroll bar", "Main delay")
    check(text_of(delay_bar).startswith(expected("Main", "Delay") + ", "), "Main delay time")
    check(checked(control(app, "check box", "Main polarity")) == (expected("Main", "Polarity") == "Pol(-)"),
          "Main polarity state")
    check(checked(control(app, "check box", "Bass enhancer")) == (expected("Main", "Bass enhancer") == "on"),
          "bass enhancer state")
    check(checked(control(app, "check box", "BTL mode")) == (expected("Main", "BTL mode") == "on"),
          "BTL state")

    # Every way's table and popups.
    check_ways(app, expected)

    # Changed by the user: a list by the keyboard, the level through the value interface.
    press(app, "check box", "Main equaliser panel")
    combo = control(app, "combo box", "Main band 2 type")
    before = text_of(combo)
    combo.queryComponent().grabFocus()
    time.sleep(0.3)
    key(0xFF54)  # Down
    want = {"PEQ": "LS", "LS": "HS", "HS": "HS"}[before]
    wait_for(lambda: text_of(control(app, "combo box", "Main band 2 type")) == want, 5,
             "the band type chosen with the keyboard")
    check_combo(app, "Main band 2 type", want)
    control(app, "slider", "Main level").queryValue().currentValue = -6.0
    wait_for(lambda: text_of(control(app, "slider", "Main level")) == "-6.0 dB", 5, "the level set")
    readout = find_all(app, lambda n: n.getRoleName() == "label" and n.name == "-6.0 dB")
    check(bool(readout), "the level readout shows the level set")

    # Changed by the unit: preset 2 recalled, its values shown and read.
    presets = control(app, "combo box", "Device preset to load")
    presets.queryComponent().grabFocus()
    time.sleep(0.3)
    key(0xFF54)  # Down: the second preset
    wait_for(lambda: text_of(control(app, "combo box", "Device preset to load")) == status["presets"][1]["entry"],
             5, "the second preset chosen")
    press(app, "push button", "Load device preset")
    wait_for(lambda: any(b.getState().contains(pyatspi.STATE_SHOWING)
                         for b in find_all(app, lambda n: n.getRoleName() == "push button" and n.name == "Yes")),
             10, "the recall question")
    for button in find_all(app, lambda n: n.getRoleName() == "push button" and n.name == "Yes"):
        if button.getState().contains(pyatspi.STATE_SHOWING):
            button.queryAction().doAction(0)
            break
    wait_for(lambda: text_of(control(app, "text", "Main band 1 frequency"))
             == after_recall("Main", "Band 1 frequency"), 30, "the recalled preset shown")
    press(app, "check box", "Main equaliser panel")
    check_table(app, after_recall, "Main")
    level = after_recall("Main", "Level")
    check_value(app, "slider", "Main level", level, -60.2 if level == "Mute" else db_number(level))

    if failures:
        print("%d values differ from what the window shows" % len(failures))
        return 1
    print("every control read over AT-SPI shows what the window shows")
    return 0


if __name__ == "__main__":
    sys.exit(main())
