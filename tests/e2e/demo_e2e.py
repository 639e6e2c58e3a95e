#!/usr/bin/env python3
"""The demo in a real X server, driven by X input: what the operator presses
reaches the board, and what the board answers shows in the panel's boxes.

    demo_e2e.py TQ905-DEMO SCENARIO

Each scenario starts its own demo; the script runs itself under xvfb-run.
"""

import time

from demo_driver import Demo, Failure, find_window, poll, run_scenarios, screen_pixel, xdotool

GREY = (192, 192, 192)
GREEN = (0, 255, 0)
# Well past the reply time-out of about three seconds.
TIME_OUT_BOUND = 10


def expect(condition, message):
    if not condition:
        raise Failure(message)


def expect_equal(actual, expected, what):
    expect(actual == expected, "%s: %r, expected %r" % (what, actual, expected))


def indicator_pixel(demo):
    return screen_pixel(*demo.point("Shape1"))


def press_and_see(demo, button, frame_line):
    """Presses button and waits for the board to report the frame it read."""
    seen = len(demo.trace())
    demo.click(button)
    demo.wait_trace(frame_line, seen)


def set_turns_the_indicator_green(demo):
    # Mapped is not yet painted: a slow start shows black for a moment.
    poll(lambda: indicator_pixel(demo) == GREY, 5, "indicator drawn grey before SET")
    demo.click("COMset")
    poll(lambda: indicator_pixel(demo) == GREEN, 5, "indicator drawn green after SET")
    expect_equal(demo.dump()[0]["Shape1"]["color"], "#00ff00", "Shape1's colour after SET")
    print("ok: SET turns the indicator from grey to green on screen")


def outputs_and_queries(executable):
    with Demo(executable, "--port-a", "5A", "--analog", "0=1F4", "--analog", "2=2A7") as demo:
        set_turns_the_indicator_green(demo)

        for bit in range(8):
            press_and_see(demo, "B%dcmd" % bit, "< bit %d on" % bit)
        press_and_see(demo, "B3cmd", "< bit 3 off")
        expect_equal(demo.text("Label1"), "\x02B30\r", "CMD: after the second b3")
        print("ok: b0 ... b7 each switch their bit on; b3 again switches it off")

        demo.type_into("Pdata", "3C")
        press_and_see(demo, "PORTout", "< port B 0x3C")
        demo.type_into("TRIS", "F0")
        press_and_see(demo, "TRIScmd", "< direction 0xF0")
        press_and_see(demo, "BZcmd", "< buzzer length 0x64 frequency 0x90")
        print("ok: typed OUT and TRIS bytes and the buzzer defaults reach the board")

        # A click in the trough pages by 500; the right arrow of HScroll1 steps by 8.
        demo.click("HScroll0", 0.8)
        demo.click("HScroll1", 0.99)
        poll(lambda: demo.dump()[0]["HScroll1"]["value"] == 8, 5, "HScroll1 at 8 after its arrow")
        expect_equal(demo.dump()[0]["HScroll0"]["value"], 500, "HScroll0 after a page")
        press_and_see(demo, "PWM0cmd", "< PWM0 duty 500")
        press_and_see(demo, "PWM1cmd", "< PWM1 duty 8")
        print("ok: PWM0 and PWM1 send the scroll bars' positions")

        press_and_see(demo, "INcmd", "> \\x02I5A3C\\x0D")
        poll(lambda: demo.text("INdataB") == "3C", 5, "INdataB showing the latch")
        controls = demo.dump()[0]
        expect_equal(controls["INdataA"]["text"], "5A", "INdataA after IN")
        expect_equal(controls["Label1"]["text"], "I5A3C\r", "CMD: after IN")
        print("ok: IN shows port A and the latch the board reports")

        press_and_see(demo, "AD2cmd", "> \\x02A2A7\\x0D")
        poll(lambda: demo.text("AD2data") == "2A7", 5, "AD2data showing channel 2")
        controls = demo.dump()[0]
        expect_equal(controls["AD0data"]["text"], "0", "AD0data after AD2")
        expect_equal(controls["Label1"]["text"], "A2A7\r", "CMD: after AD2")
        print("ok: AD2 shows channel 2's value in its own box only")

        expect_equal(len([line for line in demo.trace() if line.startswith("< ")]), 16,
                     "frames the board read for 16 presses")


def reply_timeout(executable):
    with Demo(executable, "--fault", "no-reply") as demo:
        demo.click("COMset")
        press_and_see(demo, "INcmd", "< read ports")
        asked = time.monotonic()
        # The window keeps working while the query waits.
        press_and_see(demo, "B5cmd", "< bit 5 on")
        expect(find_window("ERROR") is None, "ERROR box already up right after IN")

        box = poll(lambda: find_window("ERROR"), TIME_OUT_BOUND, "ERROR box after IN without a reply")
        waited = time.monotonic() - asked
        expect(waited > 2, "ERROR box came after %.1f s, before the reply time-out" % waited)
        messages = [w for w in demo.dump()[1] if w["title"] == "ERROR"]
        expect_equal([w.get("text") for w in messages], ["Receive ERR"], "ERROR boxes' texts")
        print("ok: \"Receive ERR\" in a box titled ERROR, %.1f s after IN" % waited)

        xdotool("windowfocus", "--sync", box)
        xdotool("key", "Return")
        poll(lambda: find_window("ERROR") is None, 5, "ERROR box gone after Return")
        controls = demo.dump()[0]
        for name in ("INdataA", "INdataB", "Label1"):
            expect_equal(controls[name]["text"], "", "%s after the time-out" % name)
        expect(not any(line.startswith("> ") for line in demo.trace()), "the board sent a reply")
        print("ok: Return closes the box; CMD:, INdataA and INdataB are then empty")


def exit_during_wait(executable):
    with Demo(executable, "--fault", "no-reply") as demo:
        demo.click("COMset")
        press_and_see(demo, "INcmd", "< read ports")
        demo.click("EXIT_button")
        pressed = time.monotonic()

        def ended_or_error():
            if find_window("ERROR"):
                raise Failure("an ERROR box came up after EXIT during the wait")
            return demo.process.poll() is not None

        poll(ended_or_error, TIME_OUT_BOUND, "the demo ending after EXIT during the wait")
        expect_equal(demo.exit_code(5), 0, "exit code after EXIT during the wait")
        print("ok: EXIT during the wait ends the program with 0 after %.1f s, no ERROR box"
              % (time.monotonic() - pressed))


if __name__ == "__main__":
    run_scenarios({
        "outputs-and-queries": outputs_and_queries,
        "reply-timeout": reply_timeout,
        "exit-during-wait": exit_during_wait,
    })
