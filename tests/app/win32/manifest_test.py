#!/usr/bin/env python3
"""The program's application manifest (res/zarv_settings.manifest, which the
.rc compiles in as resource 1 of type 24): Windows XP SP3 accepts it, it asks for no
execution level, which would end file virtualization, and it declares the
DPI awareness that Wine does not show (Common Controls 6, which Wine does
show, is checked by win32_dialog_test).

Usage: manifest_test.py MANIFEST
"""

import re
import sys
import xml.etree.ElementTree as ElementTree

ASM_V1 = "{urn:schemas-microsoft-com:asm.v1}"
# What XP's loader reads in the manifest's own namespace; it refuses any
# other element there, and passes over the elements of other namespaces.
XP_ELEMENTS = {"assembly", "assemblyIdentity", "dependency", "dependentAssembly", "description",
               "file", "noInherit", "noInheritable", "comClass", "typelib", "windowClass",
               "comInterfaceExternalProxyStub", "bindingRedirect"}


def check(text):
    failures = []
    root = ElementTree.fromstring(text)
    if root.tag != ASM_V1 + "assembly" or root.get("manifestVersion") != "1.0":
        failures.append("the root is not an asm.v1 assembly of manifestVersion 1.0")
    identity = root[0] if len(root) else None
    if identity is None or identity.tag != ASM_V1 + "assemblyIdentity" or identity.get("type") != "win32" \
            or not re.fullmatch(r"\d+\.\d+\.\d+\.\d+", identity.get("version", "")):
        failures.append("the first element is not a win32 assemblyIdentity with a four-part version")
    for element in root.iter():
        name = element.tag.split("}")[-1]
        if element.tag.startswith(ASM_V1) and name not in XP_ELEMENTS:
            failures.append(f"XP's loader rejects the element {name} in the asm.v1 namespace")
        if name in ("trustInfo", "requestedExecutionLevel"):
            failures.append(f"{name}: an execution level ends file virtualization for config.ini")
    settings = {e.tag.split("}")[-1]: (e.text or "").strip() for e in root.iter()
                if e.tag.endswith(("}dpiAware", "}dpiAwareness"))}
    # "true/pm" would make Windows 8.1 to 10 1511 treat the dialogs as
    # per-monitor v1, which scales no dialog: the system-aware "true".
    if settings.get("dpiAware") != "true":
        failures.append("dpiAware is not true (system-aware)")
    if [s.strip().lower() for s in settings.get("dpiAwareness", "").split(",")] != ["permonitorv2", "system"]:
        failures.append("dpiAwareness is not PerMonitorV2 with system as the fallback")
    return failures


def main(argv):
    if len(argv) != 2:
        sys.exit(__doc__)
    with open(argv[1], "rb") as file:
        manifest = file.read()
    failures = check(manifest)
    for failure in failures:
        print(f"FAIL: {failure}")
    if not failures:
        print(f"manifest: {len(manifest)} bytes")
    sys.exit(1 if failures else 0)


if __name__ == "__main__":
    main(sys.argv)
