"""What a screen reader finds of the settings dialog over AT-SPI: the
dialog's children in tab order with the controls inside their groups, the
disabled "1024 x 768" not enabled and not sensitive, and no image without a
name. Run on the session bus of the program: atspi_check.py TIMEOUT_S."""
import sys
import time

import pyatspi

# (role, name, children) in tab order; the PRC texts, mnemonics as AT-SPI
# shows them.
EXPECTED = [
    ("push button", "确定[Y]", []),
    ("push button", "取消[C]", []),
    ("panel", "颜色", [("radio button", "16位", []), ("radio button", "32位", [])]),
    ("panel", "音乐音效", [("check box", "音效开关", []), ("check box", "音乐开关", [])]),
    ("panel", "垂直同步", [("radio button", "开", []), ("radio button", "关", [])]),
    ("panel", "特效", [("check box", "动态模糊", [])]),
    ("panel", "鼠标", [("check box", "软件光标", [])]),
    ("panel", "分辨率", [("radio button", "800 x 600", []), ("radio button", "1024 x 768", [])]),
]


def children(node):
    return [node.getChildAtIndex(i) for i in range(node.childCount)]


def tree(node):
    return [(c.getRoleName(), c.name, tree(c)) for c in children(node)]


def states(node):
    return {pyatspi.stateToString(s) for s in node.getState().getStates()}


def find_dialog(deadline):
    while time.monotonic() < deadline:
        desktop = pyatspi.Registry.getDesktop(0)
        for app in children(desktop):
            if app is not None and app.name == "zarv_settings":
                dialogs = [c for c in children(app) if c.getRoleName() == "dialog"]
                if dialogs and dialogs[0].childCount > 0:
                    return dialogs[0]
        time.sleep(0.1)
    sys.exit("FAIL: no dialog of zarv_settings on the accessibility bus")


def main():
    dialog = find_dialog(time.monotonic() + float(sys.argv[1]))
    failures = []
    found = tree(dialog)
    if found != EXPECTED:
        failures.append(f"the dialog's tree is {found}")
    nodes = [dialog]
    for node in nodes:
        nodes.extend(children(node))
        if node.getRoleName() in ("image", "icon") and not node.name:
            failures.append(f"an image without a name: {node}")
        if node.name in ("800 x 600", "1024 x 768"):
            print(f"{node.name}: {sorted(states(node))}")
            usable = node.name == "800 x 600"
            for state in ("enabled", "sensitive"):
                if (state in states(node)) != usable:
                    failures.append(f"{node.name} is {'not ' if usable else ''}{state}")
    if failures:
        sys.exit("FAIL: " + "\nFAIL: ".join(failures))
    print("accessibility tree: ok")


main()
