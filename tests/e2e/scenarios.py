"""What a user does with the program, start to quit, checked only through files and the screen."""

import os
import struct

from desktop import (MAIN_TITLE, MESSAGE_TITLE, Program, ScenarioFailure, WindowManager,
                     wait_until)
from pictures import (Image, PictureError, composite, composite_pixel, read_png, write_bmp,
                      write_png)

SAVE_ORDER = ["JPEGQuality", "Threshold", "Seperator", "NameOrder", "Extensions", "Top", "Left",
              "Width", "Height", "AlphaBlend"]
DEFAULT_EXTENSIONS = ".bmp .gif .jpe .jpeg .jpg .png"
BATCH_TIMEOUT = 60


def check(condition, message):
    if not condition:
        raise ScenarioFailure(message)


def pattern(width, height, seed):
    """A picture in which a flipped, shifted or channel-swapped copy differs everywhere."""
    rows = []
    for y in range(height):
        row = bytearray(3 * width)
        for x in range(width):
            row[3 * x : 3 * x + 3] = bytes(((x * 5 + seed) % 256, (y * 7 + 2 * seed) % 256,
                                            ((x + y) * 3 + 3 * seed) % 256))
        rows.append(row)
    return Image(width, height, rows)


def keyed_part(width, height, key, shapes):
    """A part of the key colour with (left, top, right, bottom, colour) rectangles on it."""
    image = Image.filled(width, height, key)
    for left, top, right, bottom, colour in shapes:
        image.fill(left, top, right, bottom, colour)
    return image


def save(workspace, folder, name, image):
    path = os.path.join(workspace.folder(folder), name)
    (write_png if name.endswith(".png") else write_bmp)(path, image)
    return image


def no_message_box(workspace, program, during):
    if program.find(MESSAGE_TITLE):
        raise ScenarioFailure(f"an error message came up during {during} after "
                              f"{len(workspace.outputs())} outputs")
    return True


def wait_for_batch_end(workspace, program, count):
    """The program asks the desktop to open out/ once a batch that wrote files has ended;
    a message box instead means the batch failed."""

    def ended():
        no_message_box(workspace, program, f"batch number {count}")
        return len(workspace.open_requests()) >= count

    wait_until(ended, BATCH_TIMEOUT, f"batch number {count} to end (the open request for out/)",
               interval=0.1)
    check(not workspace.temporaries(), f"temporary files left in out/: {workspace.temporaries()}")


def check_png_output(workspace, name, expected):
    path = workspace.path("out", name)
    try:
        actual = read_png(path)
    except PictureError as error:
        raise ScenarioFailure(f"{name}: {error}")
    check((actual.width, actual.height) == (expected.width, expected.height),
          f"{name}: {actual.width}x{actual.height}, expected {expected.width}x{expected.height}")
    for y in range(expected.height):
        if actual.rows[y] != expected.rows[y]:
            x = next(x for x in range(expected.width) if actual.pixel(x, y) != expected.pixel(x, y))
            raise ScenarioFailure(f"{name}: pixel ({x},{y}) is {actual.pixel(x, y)}, "
                                  f"expected {expected.pixel(x, y)}")


def jpeg_facts(path):
    """Size and first quantisation value of a baseline JFIF file, read from its markers."""
    with open(path, "rb") as source:
        data = source.read()
    check(data[:3] == b"\xff\xd8\xff" and data[-2:] == b"\xff\xd9" and b"JFIF\x00" in data[:20],
          f"{path}: not a complete JFIF file")
    position, size, first_quant = 2, None, None
    while position + 4 <= len(data) and size is None:
        marker, length = data[position + 1], struct.unpack_from(">H", data, position + 2)[0]
        if marker == 0xDB and first_quant is None:
            first_quant = data[position + 5]
        elif marker == 0xC0:
            height, width = struct.unpack_from(">HH", data, position + 5)
            size = (width, height)
        position += 2 + length
    check(size is not None, f"{path}: no baseline frame header")
    return size, first_quant


def read_ini(workspace):
    check(os.path.exists(workspace.ini), "no mirelay.ini after quitting")
    with open(workspace.ini, encoding="utf-8") as ini:
        return ini.read().splitlines()


def main_section(lines):
    start = lines.index("[Main]")
    section = []
    for line in lines[start + 1 :]:
        if line.startswith("["):
            break
        if line.strip():
            section.append(tuple(line.split("=", 1)))
    return section


def check_saved_settings(workspace, expected):
    """The ten keys in save order; `expected` gives the values that matter to the scenario."""
    section = main_section(read_ini(workspace))
    check([key for key, _ in section] == SAVE_ORDER, f"INI keys {section}")
    values = dict(section)
    for key, value in expected.items():
        check(values[key] == value, f"INI {key}={values[key]!r}, expected {value!r}")
    return values


def screen_region_colours(program, screen, left, top, right, bottom):
    return {program.client_pixel(screen, x, y) for y in range(top, bottom)
            for x in range(left, right)}


def main_job(workspace, display):
    """Input, a preview click, Output .png: every base with every part, pixel for pixel."""
    bases = {"sky": save(workspace, "base", "sky.bmp", pattern(48, 32, 1)),
             "sea": save(workspace, "base", "sea.png", pattern(40, 40, 60))}
    magenta, green = (255, 0, 255), (0, 255, 0)
    parts = {
        "star": save(workspace, "part", "star.png", keyed_part(30, 20, magenta, [
            (4, 3, 20, 12, (250, 250, 0)), (22, 14, 30, 20, (254, 0, 255))])),
        # Wider than both bases and taller than sky: what sticks out is dropped.
        "boat": save(workspace, "part", "boat.bmp", keyed_part(56, 36, green, [
            (10, 10, 56, 36, (0, 0, 128)), (0, 30, 5, 36, (1, 255, 0))])),
    }
    workspace.folder("out")
    with Program(workspace, display) as program:
        program.press("alt+s")
        program.click_row(0, 0)
        program.click_row(1, 0)
        program.press("alt+e")
        wait_for_batch_end(workspace, program, 1)
        expected = {f"{b}{p}.png": composite(base, part, 0)
                    for b, base in bases.items() for p, part in parts.items()}
        check(workspace.outputs() == sorted(expected),
              f"out/ holds {workspace.outputs()}, expected {sorted(expected)}")
        for name, image in expected.items():
            check_png_output(workspace, name, image)
        check(workspace.opened_folders() == [workspace.path("out") + "/"],
              f"open request {workspace.open_requests()} is not for out/")
        program.quit()


def missing_out_folder(workspace, display):
    """Input without out/ tells the user and lists nothing; with out/ it lists the files."""
    save(workspace, "base", "a.bmp", pattern(8, 8, 3))
    save(workspace, "part", "x.bmp", pattern(8, 8, 4))
    with Program(workspace, display) as program:
        program.press("alt+s")
        program.dismiss_message()
        width = program.size[0] // 4
        screen = program.screenshot()
        for pane in (0, 1):
            colours = screen_region_colours(program, screen, pane * width + 6,
                                            3, (pane + 1) * width - 6, 40)
            check(len(colours) == 1, f"list {pane + 1} is not empty after the refused Input")
        workspace.folder("out")
        program.press("alt+s")

        def both_lists_show_text():
            shot = program.screenshot()
            return all(len(screen_region_colours(program, shot, pane * width + 6, 3,
                                                 (pane + 1) * width - 6, 14)) > 1
                       for pane in (0, 1))

        wait_until(both_lists_show_text, 10, "both lists to show their file")
        check(not program.find(MESSAGE_TITLE), "a message box came up although out/ exists")
        program.quit()
    check_saved_settings(workspace, {"Threshold": "0", "NameOrder": "1"})


def settings_round_trip(workspace, display):
    """Quality, threshold, separator and order set in the dialogs drive the batch and are saved."""
    with open(workspace.ini, "w", encoding="utf-8") as ini:
        ini.write("[Main]\nJPEGQuality=90\nThreshold=0\nSeperator=\nNameOrder=1\n"
                  f"Extensions={DEFAULT_EXTENSIONS}\nTop=20\nLeft=10\nWidth=-1\nHeight=-1\n"
                  "\n[Notes]\nkept=yes\n")
    key = (10, 200, 30)
    base = save(workspace, "base", "road.bmp", pattern(40, 30, 9))
    part = save(workspace, "part", "car.bmp", keyed_part(32, 24, key, [
        (2, 2, 10, 10, (10, 200, 70)),  # red channel 40 off the key: transparent at 40
        (12, 2, 20, 10, (10, 159, 30)),  # green channel 41 off: opaque at 40
        (2, 12, 30, 22, (200, 40, 90)),
    ]))
    workspace.folder("out")
    with Program(workspace, display) as program:
        check(program.origin == (10, 20), f"window at {program.origin}, saved at (10, 20)")
        program.press("alt+q")
        program.answer_box("^JPEG 画質$", "75")
        program.press("alt+t")
        program.answer_box("^透過閾値$", "40")
        program.press("alt+n")
        program.xdotool("key", "s")
        program.answer_box("^名前の区切り文字$", "_")
        program.press("alt+n")
        program.xdotool("key", "p")
        program.press("alt+s")
        program.press("alt+e")
        wait_for_batch_end(workspace, program, 1)
        program.press("alt+r")
        wait_for_batch_end(workspace, program, 2)
        check(workspace.outputs() == ["car_road.jpg", "car_road.png"],
              f"out/ holds {workspace.outputs()}, expected car_road.jpg and car_road.png")
        check_png_output(workspace, "car_road.png", composite(base, part, 40))
        size, first_quant = jpeg_facts(workspace.path("out", "car_road.jpg"))
        check(size == (40, 30), f"car_road.jpg is {size}, expected (40, 30)")
        # The first luminance step of the standard table (16) scaled for quality 75.
        check(first_quant == 8, f"car_road.jpg DC quantiser {first_quant}, quality 75 gives 8")
        height = str(program.size[1])
        # Idle, Alt+A is the alpha mode's: Abort shares the key only during a run.
        program.press("alt+a")
        program.quit()
    check_saved_settings(workspace, {
        "JPEGQuality": "75", "Threshold": "40", "Seperator": "_", "NameOrder": "2",
        "Extensions": DEFAULT_EXTENSIONS, "Top": "20", "Left": "10", "Width": "1289",
        "Height": height, "AlphaBlend": "1"})
    check("kept=yes" in read_ini(workspace), "the INI lost a section the program does not own")


BIG_BASES = 6
BIG_PARTS = 6


def big_workspace(workspace):
    """Enough work that a batch can be caught running.

    Returns the bases and the parts as (name, picture) lists in the program's list order,
    which is directory order, as os.listdir gives it too."""
    pictures = {}
    for i in range(BIG_BASES):
        image = Image.filled(1600, 1200, (20 * i, 90, 200 - 20 * i))
        pictures[f"big{i}"] = save(workspace, "base", f"big{i}.bmp",
                                   image.fill(100, 100, 1500, 1100, (i, 2 * i, 3)))
    for j in range(BIG_PARTS):
        pictures[f"p{j}"] = save(workspace, "part", f"p{j}.bmp", keyed_part(
            400, 300, (255, 255, 255), [(50, 50, 350, 250, (30 * j, 0, 255 - 30 * j))]))
    workspace.folder("out")

    def listed(folder):
        stems = [os.path.splitext(name)[0] for name in os.listdir(workspace.path(folder))]
        return [(stem, pictures[stem]) for stem in stems]

    return listed("base"), listed("part")


def start_big_batch(workspace, program):
    program.press("alt+s")
    program.press("alt+e")
    wait_until(lambda: no_message_box(workspace, program, "the big batch") and workspace.outputs(),
               30, "the first output of the big batch", interval=0.1)
    check(not workspace.open_requests(), "the big batch ended before it could be interrupted")


def quit_refused_while_busy(workspace, display):
    """Quit during a batch does nothing; once the batch is over, Quit closes and saves."""
    bases, parts = big_workspace(workspace)
    with Program(workspace, display) as program:
        start_big_batch(workspace, program)
        program.press("alt+x")
        # Keys are handled in order: once the progress box is up, Quit has had its turn.
        program.press("alt+g")
        program.dismiss_message()
        check(program.process.poll() is None, "the program ended on Quit during a batch")
        check(program.window in program.find(MAIN_TITLE), "the window disappeared")
        wait_for_batch_end(workspace, program, 1)
        # A refused Quit is not kept for later: the window still takes commands.
        program.press("alt+t")
        program.answer_box("^透過閾値$", "40")
        check(program.process.poll() is None, "the program ended after the batch")
        check(len(workspace.outputs()) == len(bases) * len(parts),
              f"{len(workspace.outputs())} outputs, expected {len(bases) * len(parts)}")
        program.quit()
    check_saved_settings(workspace, {"JPEGQuality": "90", "Threshold": "40"})


def abort_mid_run(workspace, display):
    """Abort stops the batch after the current pair; what was written is whole and correct."""
    bases, parts = big_workspace(workspace)
    with Program(workspace, display) as program:
        start_big_batch(workspace, program)
        program.press("alt+a")
        wait_for_batch_end(workspace, program, 1)
        pairs = [(b + p + ".png", base, part) for b, base in bases for p, part in parts]
        written = workspace.outputs()
        check(0 < len(written) < len(pairs), f"{len(written)} outputs after Abort")
        done = pairs[: len(written)]
        check(written == sorted(name for name, _, _ in done),
              f"outputs {written} are not the first {len(written)} pairs in list order")
        for name, base, part in done:
            try:
                actual = read_png(workspace.path("out", name))
            except PictureError as error:
                raise ScenarioFailure(f"{name} is not a complete PNG: {error}")
            check((actual.width, actual.height) == (1600, 1200), f"{name} has the wrong size")
            for x, y in [(0, 0), (60, 60), (200, 150), (399, 299), (400, 300), (1599, 1199)]:
                want = composite_pixel(base, part, 0, x, y)
                check(actual.pixel(x, y) == want,
                      f"{name}: pixel ({x},{y}) is {actual.pixel(x, y)}, expected {want}")
        program.quit()


def preview(workspace, display):
    """A base click shows the base, then a part click shows the composite, at natural size."""
    base = save(workspace, "base", "wall.bmp", pattern(60, 40, 17))
    part = save(workspace, "part", "sign.png", keyed_part(30, 20, (0, 0, 255), [
        (5, 4, 25, 16, (255, 128, 0)), (0, 18, 30, 20, (0, 0, 254))]))
    workspace.folder("out")
    with Program(workspace, display) as program:
        left = 2 * (program.size[0] // 4)

        def shows(image):
            def check_screen():
                shot = program.screenshot()
                return all(program.client_pixel(shot, left + x, y) == image.pixel(x, y)
                           for y in range(image.height) for x in range(image.width))
            return check_screen

        program.press("alt+s")
        program.click_row(0, 0)
        wait_until(shows(base), 10, "the preview of the base", interval=0.2)
        program.click_row(1, 0)
        wait_until(shows(composite(base, part, 0)), 10, "the preview of the composite",
                   interval=0.2)
        program.quit()


GEOMETRY_KEYS = ("Left", "Top", "Width", "Height")


def saved_bounds(workspace):
    values = dict(main_section(read_ini(workspace)))
    return tuple(int(values[key]) for key in GEOMETRY_KEYS)


def settled_bounds(program, wanted, what):
    """The window's outer bounds once `wanted` holds; they settle after the window manager
    has framed the window."""
    seen = []

    def settled():
        seen.append(program.outer_bounds())
        return wanted(seen[-1])

    try:
        wait_until(settled, 10, what, interval=0.1)
    except ScenarioFailure as failure:
        raise ScenarioFailure(f"{failure}; outer bounds stay {seen[-1]} (left, top, width, "
                              f"height), frame {program.frame_extents()}")
    return seen[-1]


def geometry_under_a_window_manager(workspace, display):
    """Under openbox the saved bounds are the outer ones: start/quit cycles keep them, and a
    lone valid Left keeps the window manager's vertical placement."""
    with WindowManager(display, workspace):
        with Program(workspace, display) as program:
            wait_until(lambda: program.frame_extents() != (0, 0, 0, 0), 10,
                       "openbox to frame the window")
            program.quit()
        first = saved_bounds(workspace)
        for cycle in (2, 3):
            with Program(workspace, display) as program:
                settled_bounds(program, lambda bounds: bounds == first,
                               f"cycle {cycle} to show the saved bounds {first}")
                program.quit()
            check(saved_bounds(workspace) == first,
                  f"cycle {cycle} saved {saved_bounds(workspace)}, the first saved {first}")
        with open(workspace.ini, "w") as ini:
            ini.write("[Main]\nTop=-5\nLeft=40\nWidth=1300\nHeight=700\n")
        with Program(workspace, display) as program:
            left, top, width, height = settled_bounds(
                program, lambda bounds: (bounds[0], *bounds[2:]) == (40, 1300, 700),
                "outer bounds of left 40 and size 1300x700")
            check(top > 0, "an invalid Top moved the window to the top edge")
            program.quit()
        check(saved_bounds(workspace) == (40, top, 1300, 700),
              f"saved {saved_bounds(workspace)}, shown (40, {top}, 1300, 700)")


def first_start_lays_out_home(workspace, display):
    """An installed program's first start makes ~/Mirelay with empty base/, part/ and out/, and
    keeps its settings there."""
    check(not os.path.exists(workspace.root), "~/Mirelay exists before the first start")
    with Program(workspace, display) as program:
        for name in ("base", "part", "out"):
            folder = workspace.path(name)
            check(os.path.isdir(folder) and not os.listdir(folder),
                  f"~/Mirelay/{name} is not an empty folder")
        program.quit()
    check(os.path.isfile(workspace.ini), "the settings file was not written in ~/Mirelay")


SCENARIOS = [main_job, missing_out_folder, settings_round_trip, quit_refused_while_busy,
             abort_mid_run, preview, geometry_under_a_window_manager]

# For a program installed in a folder the user cannot write, working in ~/Mirelay.
INSTALLED_SCENARIOS = [first_start_lays_out_home, main_job]
