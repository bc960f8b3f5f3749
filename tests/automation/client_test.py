#!/usr/bin/python3
"""Drives the automation interface of a running Quadrel document with real D-Bus clients (dbus-python and
gdbus). Usage: client_test.py PICTURE QUADREL_CLI WORKDIR"""
import os
import subprocess
import sys
import traceback

import dbus

picture, cli, work = sys.argv[1], sys.argv[2], sys.argv[3]
bus = dbus.SessionBus()
obj = bus.get_object("Quadrel.Document", "/Document")
q = dbus.Interface(obj, "Quadrel.IQuadrel")
props = dbus.Interface(obj, "org.freedesktop.DBus.Properties")
results = []


def check(name):
    def wrap(fn):
        try:
            fn()
            results.append((name, None))
        except Exception:  # noqa: BLE001 - every failure is reported by name
            results.append((name, traceback.format_exc()))
        return fn
    return wrap


def cli_table(*args):
    out = subprocess.run([cli, *args], check=True, capture_output=True, text=True).stdout
    return [line.split(",") for line in out.strip().splitlines()]


@check("introspection describes the interface")
def _():
    xml = dbus.Interface(obj, "org.freedesktop.DBus.Introspectable").Introspect()
    assert '<interface name="Quadrel.IQuadrel">' in xml, xml
    for m in ("GetImage", "GetLabelImage", "GetROI", "GetSelectedFeatures", "GetSelFeatures", "LoadROI", "GetFeatures"):
        assert f'name="{m}"' in xml, m
    assert 'value="GetImage_ToFile"' in xml and 'value="GetROI_ToFile"' in xml


@check("AllFeatures lists every feature in identifier order")
def _():
    names = props.Get("Quadrel.IQuadrel", "AllFeatures")
    assert len(names) == 62, len(names)
    assert names[0] == "Label" and names[1] == "Area" and names[61] == "Kurtosis(Y)", names[:3]


@check("GetDummy and GetSelFeatures")
def _():
    assert list(props.Get("Quadrel.IQuadrel", "GetDummy")) == []
    assert list(q.GetSelFeatures(dbus.Int32(3))) == ["This is a new std::string"]
    assert q.GetSelectedFeatures(dbus.Array([1, 2], signature="i", variant_level=1)) is not None
    assert bool(q.GetSelectedFeatures(dbus.Array([1, 2], signature="i", variant_level=1)))
    assert not bool(q.GetSelectedFeatures(dbus.Int32(5, variant_level=1)))


@check("images are written by extension, like the command-line export")
def _():
    for member, option, ext in (("GetImage", None, ".png"), ("GetLabelImage", "--label", ".tif"), ("GetROI", "--roi-mask", ".bmp")):
        got = os.path.join(work, member + ext)
        want = os.path.join(work, member + "-cli" + ext)
        assert bool(getattr(q, member)(got)), member
        subprocess.run([cli, "export-image"] + ([option] if option else []) + [picture, want], check=True)
        assert open(got, "rb").read() == open(want, "rb").read(), member
    assert not bool(q.GetImage(os.path.join(work, "x.nosuchformat")))
    ddm = os.path.join(work, "image.DDM")
    assert bool(q.GetImage(ddm))
    assert open(ddm, "rb").read(8) == b"\xd0\xcf\x11\xe0\xa1\xb1\x1a\xe1"


@check("the written image holds the source pixels")
def _():
    try:
        from PIL import Image
    except ImportError:
        print("skip pixel comparison: python3-pil is missing")
        return
    got = os.path.join(work, "pixels.bmp")
    assert bool(q.GetImage(got))
    a = Image.open(picture).convert("RGB")
    b = Image.open(got).convert("RGB")
    assert a.size == b.size and a.tobytes() == b.tobytes()


@check("GetFeatures of all cells equals the command-line table")
def _():
    values = [float(v) for v in q.GetFeatures("_all_cells_", "Area")]
    table = cli_table("measure", "--features", "Area", picture)
    expected = [float(row[1]) for row in table[1:]]
    assert len(values) == len(expected) > 0, (len(values), len(expected))
    for a, b in zip(values, expected):
        assert abs(a - b) <= 1e-6 * max(1.0, abs(b)), (a, b)


@check("unknown features give the empty result, unknown classes an error")
def _():
    assert list(q.GetFeatures("_all_cells_", "area")) == []
    try:
        q.GetFeatures("no such class", "Area")
        raise AssertionError("no error")
    except dbus.DBusException as e:
        assert e.get_dbus_name() == "org.freedesktop.DBus.Error.InvalidArgs", e.get_dbus_name()
        assert "no such class" in e.get_dbus_message()


@check("LoadROI changes the cells inside the region")
def _():
    before = len(q.GetFeatures("_inside_ROI_", "Area"))
    template = os.path.join(work, "quarter.xml")
    with open(template, "w") as f:
        f.write("<Library><Region><Type>rectangle</Type><Location><X>-6</X><Y>-6</Y></Location>"
                "<Size><Width>12</Width><Height>12</Height></Size></Region></Library>")
    assert bool(q.LoadROI(template, 1.0))
    after = len(q.GetFeatures("_inside_ROI_", "Area"))
    assert 0 < after < before, (before, after)
    broken = os.path.join(work, "broken.xml")
    with open(broken, "w") as f:
        f.write("<Library><Region>")
    assert not bool(q.LoadROI(broken, 1.0))
    assert len(q.GetFeatures("_inside_ROI_", "Area")) == after


@check("arguments of the wrong type are refused and the program goes on")
def _():
    def raw(method, signature, args):
        # Bypasses the proxy's introspection, which would coerce or refuse the arguments client-side.
        return lambda: bus.call_blocking("Quadrel.Document", "/Document", "Quadrel.IQuadrel", method, signature, args)

    for call in (raw("GetImage", "i", (4,)), raw("LoadROI", "s", ("x.xml",)), raw("GetFeatures", "sd", ("a", 1.0))):
        try:
            call()
            raise AssertionError("no error")
        except dbus.DBusException as e:
            assert e.get_dbus_name() in ("org.freedesktop.DBus.Error.InvalidArgs",), e.get_dbus_name()
    assert len(props.Get("Quadrel.IQuadrel", "AllFeatures")) == 62


@check("gdbus reaches the same members")
def _():
    out = subprocess.run(["gdbus", "call", "--session", "--dest", "Quadrel.Document", "--object-path", "/Document",
                          "--method", "Quadrel.IQuadrel.GetImage", os.path.join(work, "gdbus.png")],
                         check=True, capture_output=True, text=True).stdout.strip()
    assert out == "(true,)", out
    out = subprocess.run(["gdbus", "call", "--session", "--dest", "Quadrel.Document", "--object-path", "/Document",
                          "--method", "org.freedesktop.DBus.Properties.Get", "Quadrel.IQuadrel", "GetDummy"],
                         check=True, capture_output=True, text=True).stdout.strip()
    assert out == "(<<@av []>>,)", out


failed = [(n, e) for n, e in results if e]
for name, err in results:
    print(("ok   " if not err else "FAIL ") + name)
    if err:
        print(err)
print(f"{len(results) - len(failed)} passed, {len(failed)} failed")
sys.exit(1 if failed else 0)
