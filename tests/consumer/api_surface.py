#!/usr/bin/python3
"""Writes a C++ file that names every declaration of the installed headers.

The list comes from the headers themselves: libclang parses one translation
unit that includes every header under the include root, with the flags the
consumer project compiles with, and every public declaration made in those
headers is referenced so that it must compile and link against the installed
module alone:

  - free and static member functions and variables: their address, cast to the
    declared type (which also picks the overload);
  - non-static member functions, Qt signals included: a pointer to member;
  - constructors and destructors: a `new` and a `delete` with the declared
    parameters, through a subclass that overrides the pure virtual functions
    when the class is abstract;
  - classes, structs, enums, enumerators and aliases: named, and polymorphic
    classes through their type information (which a class the module does not
    export lacks).

The label on a header's first line and the install list must agree: an
installed header whose first line calls it internal is refused, and so is a
header of the source tree that stays uninstalled although its first line calls
it public (its label, the text before the first colon, opens with "Velmora rig
library" as the public rig headers' do, or says "public").

Templates are left out: a template is compiled where it is used. Protected and
private members are left out: a host cannot name them.

Usage: api_surface.py --compile-commands FILE --source FILE --include-root DIR --module-sources DIR --out FILE
"""

import argparse
import json
import os
import shlex
import sys

import clang.cindex as ci

K = ci.CursorKind
FUNCTION_KINDS = {K.FUNCTION_DECL, K.CXX_METHOD}
SCOPE_KINDS = {K.NAMESPACE, K.CLASS_DECL, K.STRUCT_DECL}
RECORD_KINDS = {K.CLASS_DECL, K.STRUCT_DECL}


def parse_args():
    p = argparse.ArgumentParser()
    p.add_argument("--compile-commands", required=True)
    p.add_argument("--source", required=True, help="a source of the consumer whose flags to use")
    p.add_argument("--include-root", required=True)
    p.add_argument("--module-sources", required=True, help="the module's source folder, laid out as the include root")
    p.add_argument("--out", required=True)
    return p.parse_args()


def flags_of(compile_commands, source):
    """The include paths, definitions and language flags of one compile command."""
    with open(compile_commands) as f:
        entries = json.load(f)
    source = os.path.realpath(source)
    for e in entries:
        if os.path.realpath(os.path.join(e["directory"], e["file"])) != source:
            continue
        args = e["arguments"] if "arguments" in e else shlex.split(e["command"])
        kept, i = [], 1
        while i < len(args):
            a = args[i]
            if a in ("-I", "-isystem", "-D", "-include") and i + 1 < len(args):
                kept += [a, args[i + 1]]
                i += 2
                continue
            if a.startswith(("-I", "-D", "-std=", "-isystem", "-f")):
                kept.append(a)
            i += 1
        return kept
    sys.exit("api_surface: %s is not in %s" % (source, compile_commands))


def headers_under(root):
    found = []
    for dirpath, _, files in os.walk(root):
        for name in files:
            if name.endswith(".h"):
                found.append(os.path.relpath(os.path.join(dirpath, name), root))
    return sorted(found)


def first_line(root, header):
    with open(os.path.join(root, header), encoding="utf-8") as f:
        return f.readline()


def calls_internal(line):
    return line.startswith("//") and "internal" in line.lower()


def calls_public(line):
    if not line.startswith("//") or calls_internal(line):
        return False
    label = line[2:].split(":", 1)[0].strip().lower()
    return label.startswith("velmora rig library") or "public" in label.split()


def labelled_internal(root, headers):
    """Installed headers whose opening comment calls them internal."""
    return [h for h in headers if calls_internal(first_line(root, h))]


def labelled_public(sources, installed):
    """Headers of the source tree left uninstalled whose opening comment calls them public."""
    kept = set(installed)
    return [h for h in headers_under(sources) if h not in kept and calls_public(first_line(sources, h))]


def in_root(cursor, root):
    f = cursor.location.file
    return f is not None and os.path.realpath(f.name).startswith(root + os.sep)


def qualified(cursor):
    parts = []
    c = cursor
    while c is not None and c.kind != K.TRANSLATION_UNIT:
        if c.spelling:
            parts.append(c.spelling)
        c = c.semantic_parent
    return "::" + "::".join(reversed(parts))


def is_public(cursor):
    return cursor.access_specifier in (ci.AccessSpecifier.PUBLIC, ci.AccessSpecifier.INVALID)


def is_deleted(cursor):
    return cursor.availability == ci.AvailabilityKind.NOT_AVAILABLE


class Surface:
    def __init__(self, root):
        self.root = root
        self.lines = []  # statements inside the reference function
        self.prelude = []  # aliases and helper classes at namespace scope
        self.counts = {"functions": 0, "members": 0, "constructors": 0, "types": 0, "enumerators": 0, "variables": 0}
        self.seen = set()
        self.alias = 0

    def function_type(self, cursor):
        self.alias += 1
        name = "Fn%d" % self.alias
        self.prelude.append("using %s = %s;" % (name, cursor.type.spelling))
        return name

    def once(self, key):
        if key in self.seen:
            return False
        self.seen.add(key)
        return True

    def visit(self, cursor):
        for c in cursor.get_children():
            if not in_root(c, self.root) or not is_public(c):
                continue
            if c.kind == K.NAMESPACE:
                self.visit(c)
            elif c.kind in RECORD_KINDS and c.is_definition():
                self.record(c)
            elif c.kind == K.FUNCTION_DECL and not is_deleted(c):
                if self.once(("f", qualified(c), c.type.spelling)):
                    self.lines.append("keep(static_cast<%s*>(&%s));" % (self.function_type(c), qualified(c)))
                    self.counts["functions"] += 1
            elif c.kind == K.VAR_DECL:
                if self.once(("v", qualified(c))):
                    self.lines.append("keep(&%s);" % qualified(c))
                    self.counts["variables"] += 1
            elif c.kind == K.ENUM_DECL and c.is_definition():
                self.enum(c)
            elif c.kind in (K.TYPEDEF_DECL, K.TYPE_ALIAS_DECL):
                if self.once(("t", qualified(c))):
                    self.alias += 1
                    self.prelude.append("using Alias%d = %s;" % (self.alias, qualified(c)))
                    self.counts["types"] += 1

    def enum(self, cursor):
        """A named enum as a type; the enumerators of every enum, named ones or not."""
        named = cursor.spelling and not cursor.spelling.startswith("(")
        if named and self.once(("t", qualified(cursor))):
            self.lines.append("static_assert(sizeof(%s) > 0);" % qualified(cursor))
            self.counts["types"] += 1
        scope = qualified(cursor) if cursor.is_scoped_enum() else qualified(cursor.semantic_parent)
        if scope == "::":
            scope = ""
        for c in cursor.get_children():
            if c.kind == K.ENUM_CONSTANT_DECL and self.once(("e", scope, c.spelling)):
                self.lines.append("keep(%s::%s);" % (scope, c.spelling))
                self.counts["enumerators"] += 1

    def record(self, cursor):
        name = qualified(cursor)
        if not cursor.spelling or not self.once(("t", name)):
            return
        self.counts["types"] += 1
        self.lines.append("static_assert(sizeof(%s) > 0);" % name)
        methods = [c for c in cursor.get_children() if c.kind in FUNCTION_KINDS]
        if any(m.is_virtual_method() for m in methods) or self.has_polymorphic_base(cursor):
            self.lines.append("keep(&typeid(%s));" % name)
        constructors, abstract, public_destructor = [], cursor.is_abstract_record(), True
        for c in cursor.get_children():
            if c.kind == K.DESTRUCTOR and not is_public(c):
                public_destructor = False
        for c in cursor.get_children():
            if c.kind in RECORD_KINDS and c.is_definition() and is_public(c):
                self.record(c)
            elif c.kind == K.ENUM_DECL and c.is_definition() and is_public(c):
                self.enum(c)
            elif c.kind == K.VAR_DECL and is_public(c):  # static data members
                if self.once(("v", qualified(c))):
                    self.lines.append("keep(&%s);" % qualified(c))
                    self.counts["variables"] += 1
            elif c.kind == K.CXX_METHOD and is_public(c) and not is_deleted(c):
                if not self.once(("m", qualified(c), c.type.spelling)):
                    continue
                fn = self.function_type(c)
                form = "%s*" % fn if c.is_static_method() else "%s %s::*" % (fn, name)
                self.lines.append("keep(static_cast<%s>(&%s));" % (form, qualified(c)))
                self.counts["members"] += 1
            elif c.kind == K.CONSTRUCTOR and not is_deleted(c) and (is_public(c) or abstract):
                constructors.append(c)
        if constructors and public_destructor:
            made = self.concrete(cursor) if abstract else name
            for c in constructors:
                self.construct(made, c)

    def has_polymorphic_base(self, cursor):
        for c in cursor.get_children():
            if c.kind == K.CXX_BASE_SPECIFIER:
                base = c.type.get_declaration()
                if base.kind in RECORD_KINDS:
                    if any(m.is_virtual_method() for m in base.get_children() if m.kind in FUNCTION_KINDS):
                        return True
                    if self.has_polymorphic_base(base):
                        return True
        return False

    def concrete(self, cursor):
        """A final subclass that overrides every pure virtual function of an abstract class."""
        name = qualified(cursor)
        self.alias += 1
        sub = "Concrete%d" % self.alias
        body = ["struct %s final : %s {" % (sub, name), "    using %s::%s;" % (name, cursor.spelling)]
        for m in cursor.get_children():
            if m.kind == K.CXX_METHOD and m.is_pure_virtual_method():
                params = ", ".join(a.type.spelling for a in m.get_arguments())
                const = " const" if m.is_const_method() else ""
                body.append("    %s %s(%s)%s override { throw 0; }" % (m.result_type.spelling, m.spelling, params, const))
        body.append("};")
        self.prelude += body
        return sub

    def construct(self, made, ctor):
        params = [a.type.spelling for a in ctor.get_arguments()]
        self.alias += 1
        fn = "make%d" % self.alias
        decl = ", ".join("%s a%d" % (t, i) for i, t in enumerate(params))
        args = ", ".join("std::forward<%s>(a%d)" % (t, i) for i, t in enumerate(params))
        self.prelude.append("[[maybe_unused]] void %s(%s) { delete new %s(%s); }" % (fn, decl, made, args))
        self.lines.append("keep(&%s);" % fn)
        self.counts["constructors"] += 1


def main():
    a = parse_args()
    root = os.path.realpath(a.include_root)
    headers = headers_under(root)
    internal = labelled_internal(root, headers)
    if internal:
        sys.exit("api_surface: installed headers that call themselves internal: " + ", ".join(internal))
    public = labelled_public(os.path.realpath(a.module_sources), headers)
    if public:
        sys.exit("api_surface: headers that call themselves public but are not installed: " + ", ".join(public))
    unit = "".join('#include "%s"\n' % os.path.join(root, h) for h in headers)
    flags = flags_of(a.compile_commands, a.source) + ["-x", "c++"]
    tu = ci.Index.create().parse("surface.cpp", args=flags, unsaved_files=[("surface.cpp", unit)])
    errors = [d for d in tu.diagnostics if d.severity >= ci.Diagnostic.Error]
    if errors:
        sys.exit("api_surface: the installed headers do not parse:\n" + "\n".join(str(d) for d in errors))
    s = Surface(root)
    s.visit(tu.cursor)
    total = sum(s.counts.values())
    if s.counts["functions"] == 0 or s.counts["types"] == 0:
        sys.exit("api_surface: found no declarations under %s" % root)
    summary = ", ".join("%d %s" % (n, k) for k, n in s.counts.items())
    out = [
        "// Written by api_surface.py from the installed headers; do not edit.",
        unit.rstrip("\n"),
        "#include <cstdio>",
        "#include <typeinfo>",
        "#include <utility>",
        "",
        "namespace {",
        "// Holds a value where the optimiser cannot drop it, so that every",
        "// reference below reaches the linker.",
        "template <class T> void keep(const T& v) { asm volatile(\"\" : : \"r\"(&v) : \"memory\"); }",
        "}  // namespace",
        "",
    ]
    out += s.prelude
    out += ["", "void referenceEverything()", "{"]
    out += ["    " + line for line in s.lines]
    out += ["}", "", "int main(int argc, char**)", "{",
            "    if (argc > 1000)  // never: the references need only to link",
            "        referenceEverything();",
            '    std::puts("api surface: %d declarations link (%s)");' % (total, summary),
            "    return 0;", "}"]
    with open(a.out, "w") as f:
        f.write("\n".join(out) + "\n")


if __name__ == "__main__":
    main()
