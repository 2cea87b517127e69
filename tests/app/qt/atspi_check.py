"""What a screen reader finds of the settings dialog over AT-SPI: the
dialog's children in tab order with the controls inside their groups, the
disabled "1024 x 768" not enabled and not sensitive, and no image without a
name; or, with "message FOLDER", the message box at open with the Taiwan
texts, which names the folder and whose sentence names the next step. Run on
the session bus of the program: atspi_check.py TIMEOUT_S [message FOLDER]."""
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


def find_window(deadline, role):
    while time.monotonic() < deadline:
        desktop = pyatspi.Registry.getDesktop(0)
        for app in children(desktop):
            if app is not None and app.name == "zarv_settings":
                windows = [c for c in children(app) if c.getRoleName() == role]
                if windows and windows[0].childCount > 0:
                    return windows[0]
        time.sleep(0.1)
    sys.exit(f"FAIL: no {role} of zarv_settings on the accessibility bus")


def check_message(deadline, folder):
    """The dialog's caption and button, and after the file's name and folder
    a sentence of eight Chinese characters at least."""
    message = find_window(deadline, "alert")
    found = tree(message)
    print(f"message: {message.name}: {found}")
    texts = [name for role, name, _ in found if role == "label"]
    sentence = texts[0].partition(f"無法讀取 config.ini（資料夾：{folder}）：")[2] if texts else ""
    if (message.name != "設定程式" or len([c for c in sentence if "\u4e00" <= c <= "\u9fff"]) < 8
            or ("push button", "確定", []) not in found[-1][2]):
        sys.exit("FAIL: the message does not name the next step in the Taiwan texts")


def main():
    deadline = time.monotonic() + float(sys.argv[1])
    if sys.argv[2:3] == ["message"]:
        check_message(deadline, sys.argv[3])
        return
    dialog = find_window(deadline, "dialog")
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
