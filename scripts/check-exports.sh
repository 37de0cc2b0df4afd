#!/usr/bin/env bash
# Checks that the installed shared library exports everything its installed
# headers promise a host: every function, member function and static data
# member that a header declares without defining it (the library defines it
# out of line), and the vtable and type information of each class whose key
# function is out of line. clang reads all installed headers at once and
# names each such declaration by its mangled name; each must be a defined
# dynamic symbol of libplexora.so.
# Usage: scripts/check-exports.sh PREFIX   (a prefix the shared build was
# installed into)
set -euo pipefail
prefix=${1:?usage: check-exports.sh PREFIX}
cxx=${CHECK_EXPORTS_CXX:-clang++}

library=$(find "$prefix" -name 'libplexora.so.*' -type f -print -quit)
[ -n "$library" ] || { echo "check-exports: no libplexora.so under $prefix" >&2; exit 1; }
headers=$(find "$prefix" -path '*/include/plexora' -type d -print -quit)
[ -n "$headers" ] || { echo "check-exports: no include/plexora under $prefix" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
(cd "$headers" && find . -name '*.h' | sort | sed 's|^\./|#include <plexora/|; s|$|>|') >"$work/all.cpp"

"$cxx" -std=c++20 -fsyntax-only -I"$(dirname "$headers")" -I"$headers" \
  -Xclang -ast-dump=json -Xclang -ast-dump-filter=plexora "$work/all.cpp" >"$work/ast.json"
nm -D --defined-only "$library" | awk '{ print $NF }' >"$work/exported"

python3 - "$work/ast.json" "$work/exported" <<'EOF'
import json
import subprocess
import sys

FUNCTIONS = {"FunctionDecl", "CXXMethodDecl", "CXXConstructorDecl", "CXXDestructorDecl", "CXXConversionDecl"}
# Templates are instantiated in the host; friends are declared where they
# are defined.
SKIPPED = {"ClassTemplateDecl", "FunctionTemplateDecl", "ClassTemplatePartialSpecializationDecl",
           "FriendDecl", "TypeAliasTemplateDecl", "VarTemplateDecl"}


def declarations(text):
    # The filtered dump is a run of JSON documents, one per matching
    # declaration, possibly with text between them.
    decoder = json.JSONDecoder()
    at = 0
    while True:
        at = text.find("{", at)
        if at < 0:
            return
        node, at = decoder.raw_decode(text, at)
        yield node


def has_body(node):
    return any(child.get("kind") == "CompoundStmt" for child in node.get("inner", []))


def inline_or_special(node):
    return (node.get("isImplicit") or node.get("inline") or node.get("constexpr") or node.get("pure")
            or node.get("explicitlyDeleted") or node.get("explicitlyDefaulted") or has_body(node))


def mangled_record(scope):
    return "N" + "".join(f"{len(name)}{name}" for name in scope) + "E"


required = {}
defined_in_headers = set()


def walk(node, scope, in_record):
    kind = node.get("kind")
    if kind in SKIPPED:
        return
    if kind in FUNCTIONS:
        name = node.get("mangledName")
        if name:
            if inline_or_special(node):
                defined_in_headers.add(name)
            else:
                required.setdefault(name, "::".join(scope + [node.get("name", "")]))
        return
    if kind == "VarDecl":
        name = node.get("mangledName")
        storage = node.get("storageClass")
        wanted = (in_record and storage == "static") or (not in_record and storage == "extern")
        if name and wanted and not (node.get("constexpr") or node.get("inline") or node.get("init")):
            required.setdefault(name, "::".join(scope + [node.get("name", "")]))
        return
    if kind == "NamespaceDecl":
        for child in node.get("inner", []):
            walk(child, scope + [node.get("name", "")], False)
        return
    if kind == "CXXRecordDecl" and node.get("completeDefinition") and node.get("name"):
        inner = scope + [node["name"]]
        # The key function: the first virtual one neither pure nor inline;
        # the vtable and type information go where it is defined.
        for child in node.get("inner", []):
            if child.get("kind") in FUNCTIONS and child.get("virtual") and not inline_or_special(child):
                record = mangled_record(inner)
                required.setdefault(f"_ZTV{record}", "vtable for " + "::".join(inner))
                required.setdefault(f"_ZTI{record}", "typeinfo for " + "::".join(inner))
                break
        for child in node.get("inner", []):
            walk(child, inner, True)
        return
    if kind == "LinkageSpecDecl":
        for child in node.get("inner", []):
            walk(child, scope, in_record)


ast_path, exported_path = sys.argv[1], sys.argv[2]
with open(ast_path) as ast:
    for declaration in declarations(ast.read()):
        walk(declaration, [], False)
with open(exported_path) as exported_file:
    exported = set(exported_file.read().split())

missing = sorted(name for name in required if name not in exported and name not in defined_in_headers)
if missing:
    demangled = subprocess.run(["c++filt"], input="\n".join(missing), capture_output=True, text=True).stdout.split("\n")
    print(f"check-exports: {len(missing)} of the {len(required)} symbols the installed headers declare "
          "are not exported by the shared library:", file=sys.stderr)
    for name, readable in zip(missing, demangled):
        print(f"  {readable}    [{name}]", file=sys.stderr)
    sys.exit(1)
print(f"check-exports: all {len(required)} symbols the installed headers declare are exported")
EOF
