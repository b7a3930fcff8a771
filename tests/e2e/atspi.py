"""A private accessibility bus, and glimra's window as a screen reader reads it.

A run gets a D-Bus session bus of its own and the AT-SPI bus launcher on it,
so that nothing of the desktop this runs on can answer, and glimra, started
with QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1, is the only application on it. The
tree is read through pyatspi (python3-pyatspi), as Orca reads it.
"""
import os
import shutil
import subprocess

BUS_TOOLS = ("dbus-daemon",)
BUS_LAUNCHER = "/usr/libexec/at-spi-bus-launcher"


class Unavailable(Exception):
    """A tool the accessibility bus needs is missing."""


def missing_tools():
    missing = [t for t in BUS_TOOLS if shutil.which(t) is None]
    if not os.access(BUS_LAUNCHER, os.X_OK):
        missing.append(BUS_LAUNCHER)
    try:
        import gi
        gi.require_version("Atspi", "2.0")
        import pyatspi  # noqa: F401
    except (ImportError, ValueError):
        missing.append("python3-pyatspi")
    return missing


def start_bus(session):
    """Starts a session bus and the AT-SPI launcher as processes of session,
    once per session.

    Puts the bus address into session.env (for glimra) and into this
    process's environment (for pyatspi, which reads it when first imported)."""
    if session.env.get("QT_LINUX_ACCESSIBILITY_ALWAYS_ON") == "1":
        return
    address = session.spawn_reporting(
        lambda fd: ["dbus-daemon", "--session", "--nofork", "--nosyslog", "--print-address=%d" % fd],
        "dbus-daemon's address")
    session.env["DBUS_SESSION_BUS_ADDRESS"] = address
    session.env["QT_LINUX_ACCESSIBILITY_ALWAYS_ON"] = "1"
    session.env["NO_AT_BRIDGE"] = "0"
    os.environ["DBUS_SESSION_BUS_ADDRESS"] = address
    # No X display for the launcher: it hands out the bus by D-Bus alone,
    # on Wayland as on X.
    env = {k: v for k, v in session.env.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY")}
    session.spawn([BUS_LAUNCHER, "--launch-immediately"], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                  env=env)


class Tree:
    """glimra's accessible tree, read afresh on every call."""

    def __init__(self, wait_for):
        import pyatspi
        self.pyatspi = pyatspi
        self.wait_for = wait_for
        self.app = wait_for("glimra on the accessibility bus", self._find_app, 30, 0.2)

    def _find_app(self):
        desktop = self.pyatspi.Registry.getDesktop(0)
        for i in range(desktop.childCount):
            app = desktop.getChildAtIndex(i)
            if app is not None and app.name == "glimra":
                # Names and states change under us (the title while it
                # builds): never answer from the cache.
                app.set_cache_mask(self.pyatspi.Atspi.Cache.NONE)
                return app
        return None

    def frame(self):
        frames = [c for c in self.children(self.app) if c.getRole() == self.pyatspi.ROLE_FRAME]
        return frames[0] if len(frames) == 1 else None

    def title(self):
        frame = self.frame()
        return frame.name if frame is not None else None

    @staticmethod
    def children(node):
        return [c for c in (node.getChildAtIndex(i) for i in range(node.childCount)) if c is not None]

    def walk(self, node=None):
        node = node or self.frame()
        yield node
        for child in self.children(node):
            yield from self.walk(child)

    def controls(self):
        """The window's direct children: (role, name, description, labels)."""
        found = []
        for child in self.children(self.frame()):
            labels = []
            for relation in child.getRelationSet():
                if relation.getRelationType() == self.pyatspi.RELATION_LABELLED_BY:
                    labels += [relation.getTarget(i).name for i in range(relation.getNTargets())]
            found.append((child.getRole(), child.name, child.description, labels))
        return found

    def find(self, role, name):
        """The one accessible of the role (a pyatspi role) named so."""
        hits = [n for n in self.walk() if n.getRole() == role and n.name == name]
        if len(hits) != 1:
            raise LookupError("%d accessibles with role %s named %r" % (len(hits), role, name))
        return hits[0]

    def do_action(self, node, action):
        actions = node.queryAction()
        names = [actions.getName(i) for i in range(actions.nActions)]
        if action not in names:
            raise LookupError("%r offers the actions %r, not %r" % (node.name, names, action))
        return actions.doAction(names.index(action))

    def press_show(self):
        self.do_action(self.find(self.pyatspi.ROLE_PUSH_BUTTON, "表示"), "Press")

    def extents(self, node):
        e = node.queryComponent().getExtents(self.pyatspi.DESKTOP_COORDS)
        return e.x, e.y, e.width, e.height
