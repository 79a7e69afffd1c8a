"""Writes the text signatures of the extension's methods from its own sources.

Every method table (PyMethodDef NAME[] = {...}) is read from the C++ sources; for each entry the
C function is found and its keyword list and parser format give the parameters: their names,
which are optional (after '|'), keyword-only (after '$') or positional-only (empty names), and,
for optional ones, the initial value of the variable that receives them. The output is a C++
source holding, per table, "name" -> "(signature)" pairs that the module prefixes to the doc
strings when it starts, so that inspect.signature reads the keywords the parser accepts. Where
the parser cannot be read (a variable argument list, a keyword list built at run time), the
signature comes from the method's entry in the docs folder ("problem.delRows(rowind)").

Usage: gen_signatures.py OUTPUT.cpp SOURCE.cpp... [DOCS.txt...]
"""

import ast
import re
import sys

IDENT = re.compile(r"[A-Za-z_]\w*")
TABLE = re.compile(r"^(static\s+)?PyMethodDef\s+(\w+)\[\]\s*=\s*\{", re.M)
WRAPPERS = {"reinterpret_cast", "PyCFunction", "void", "keywords_method", "plain_method", "fn", "PyCFunctionWithKeywords",
            "static_cast", "const"}


def skip_literal(text, i):
    # Index just past the string or character literal that starts at text[i].
    j, n = i + 1, len(text)
    while j < n and text[j] != text[i]:
        j += 2 if text[j] == "\\" else 1
    return j + 1


def strip_comments(text):
    # Removes // and /* */ comments outside string literals, keeping line structure.
    out, i, n = [], 0, len(text)
    while i < n:
        c = text[i]
        if c in "\"'":
            j = skip_literal(text, i)
            out.append(text[i:j])
            i = j
        elif text.startswith("//", i):
            while i < n and text[i] != "\n":
                i += 1
        elif text.startswith("/*", i):
            j = text.find("*/", i + 2)
            out.append("\n" * text.count("\n", i, j))
            i = j + 2
        else:
            out.append(c)
            i += 1
    return "".join(out)


def matching(text, i):
    # Index just past the bracket that closes the one at text[i].
    pairs = {"{": "}", "(": ")", "[": "]"}
    stack, n = [], len(text)
    while i < n:
        c = text[i]
        if c in "\"'":
            i = skip_literal(text, i)
            continue
        if c in pairs:
            stack.append(pairs[c])
        elif stack and c == stack[-1]:
            stack.pop()
            if not stack:
                return i + 1
        i += 1
    raise ValueError("unbalanced brackets")


def split_top(text, sep=","):
    # Splits at separators outside brackets, angle-bracket casts and string literals.
    parts, depth, start, i, n = [], 0, 0, 0, len(text)
    while i < n:
        c = text[i]
        if c in "\"'":
            i = skip_literal(text, i)
            continue
        if c in "([{<":
            depth += 1
        elif c in ")]}>":
            depth -= 1
        elif c == sep and depth == 0:
            parts.append(text[start:i])
            start = i + 1
        i += 1
    parts.append(text[start:])
    return [p.strip() for p in parts]


def c_strings(text):
    # The value of adjacent C string literals ("a" "b"), or None when text is not one.
    literals = re.findall(r'"((?:[^"\\]|\\.)*)"', text)
    if not literals or re.sub(r'"((?:[^"\\]|\\.)*)"', "", text).strip():
        return None
    return "".join(bytes(s, "utf-8").decode("unicode_escape") for s in literals)


def table_entries(body):
    # (name, function, flags, doc) for each entry of a method table's initialiser.
    entries = []
    for item in split_top(body):
        if not item:
            continue
        m = re.match(r"(keywords_method|plain_method)\s*\(", item)
        if m:
            fields = split_top(item[m.end():item.rindex(")")])
            flags = "METH_VARARGS|METH_KEYWORDS" if m.group(1) == "keywords_method" else "METH_NOARGS"
            entries.append((c_strings(fields[0]), fields[1], flags, c_strings(fields[2]) if len(fields) > 2 else ""))
        elif item.startswith("{"):
            fields = split_top(item[1:item.rindex("}")])
            name = c_strings(fields[0]) if fields else None
            if name is None:
                continue  # the sentinel
            entries.append((name, fields[1], fields[2].replace(" ", ""), c_strings(fields[3]) or ""))
    return entries


def function_name(expr):
    names = [w for w in IDENT.findall(expr) if w not in WRAPPERS]
    return names[-1] if names else None


def function_body(sources, name):
    pattern = re.compile(r"(?:PyObject\s*\*|\bint)\s*" + re.escape(name) + r"\s*\(([^)]*)\)\s*\{")
    for text in sources:
        m = pattern.search(text)
        if m:
            return text[m.end() - 1:matching(text, m.end() - 1)]
    return None


def format_units(fmt):
    # The parser format as (unit, optional, keyword_only) per argument.
    fmt = fmt.split(":")[0].split(";")[0]
    units, optional, kwonly, i = [], False, False, 0
    while i < len(fmt):
        c = fmt[i]
        if c == "|":
            optional = True
        elif c == "$":
            kwonly = True
        elif c == "(":
            j = matching(fmt, i)
            units.append((fmt[i:j], optional, kwonly))
            i = j
            continue
        elif c in "!&#*":
            units[-1] = (units[-1][0] + c, *units[-1][1:])
        else:
            units.append((c, optional, kwonly))
        i += 1
    return units


def default_of(body, unit, var):
    # The Python literal of the initial value of an optional argument's variable.
    if var:
        m = re.search(r"[\s,*]" + re.escape(var) + r"\s*=\s*([^,;]+)[,;]", body)
        if m:
            value = m.group(1).strip()
            if value in ("nullptr", "NULL", "Py_None"):
                return "None"
            if value in ("true", "false"):
                return "True" if value == "true" else "False"
            if re.fullmatch(r"-?\d+(\.\d*)?([eE][-+]?\d+)?", value):
                return value
            if re.fullmatch(r"[a-z_]\w*", value):
                return "kelvo." + value  # a package constant such as infinity
            s = c_strings(value)
            if s is not None:
                return repr(s)
    return "None" if unit[0] in "Ozsy" else None


def keyword_signature(body, bound=True):
    # "(...)" from the keyword list and the format of the parser call, or None.
    call = re.search(r"\b(parse_keywords|PyArg_ParseTupleAndKeywords)\s*\(", body)
    if not call:
        return None
    args = split_top(body[call.end():matching(body, call.end() - 1) - 1])
    fmt = c_strings(args[2])
    kwname = function_name(args[3])
    decl = re.search(r"\b" + re.escape(kwname) + r"\s*\[\]\s*=\s*\{([^}]*)\}", body or "") if kwname else None
    if fmt is None or not decl:
        return None
    names = [c_strings(x) for x in split_top(decl.group(1)) if x not in ("nullptr", "NULL", "")]
    targets = args[6:] if call.group(1) == "parse_keywords" else args[4:]
    targets = [t.lstrip("&").strip() for t in targets]
    units = format_units(fmt)
    if len(units) != len(names) or None in names:
        return None
    params, slot, posonly_end, star = [], 0, 0, False
    for (unit, optional, kwonly), name in zip(units, names):
        # O! and O& take a type or converter before the variable; s# a length after it.
        extra = unit.count("!") + unit.count("&")
        var = targets[slot + extra] if slot + extra < len(targets) else None
        slot += 1 + extra + unit.count("#")
        if kwonly and not star:
            params.append("*")
            star = True
        text = name or f"arg{len(params)}"
        if optional:
            default = default_of(body, unit, var)
            if default is None:
                return None
            text += "=" + default
        params.append(text)
        if not name:
            posonly_end = len(params)
    if posonly_end:
        params.insert(posonly_end, "/")
    return "(" + ", ".join(["$self"] * bound + params) + ")"


def documented_signature(name, doc):
    # The signature a doc string's first line gives, when it is valid Python.
    first = doc.split("\n", 1)[0]
    if not first.startswith(name + "("):
        return None
    text = first[len(name):]
    text = text[:matching(text, 0)]
    try:
        tree = ast.parse("def f" + text + ": pass")
    except SyntaxError:
        return None
    a = tree.body[0].args
    # Defaults inspect can read: literals and the package's own constants (kelvo.infinity).
    for d in a.defaults + [d for d in a.kw_defaults if d is not None]:
        if isinstance(d, ast.UnaryOp) and isinstance(d.op, ast.USub):
            d = d.operand
        dotted = isinstance(d, ast.Attribute) and isinstance(d.value, ast.Name) and d.value.id == "kelvo"
        if not isinstance(d, ast.Constant) and not dotted:
            return None
    inner = text[1:-1].strip()
    return "($self" + (", " + inner if inner else "") + ")"


def documented_signatures(paths):
    # Method name -> "($self, ...)" from the keys of the docs files that spell a signature out.
    found = {}
    for path in paths:
        with open(path, encoding="utf-8") as f:
            for line in f:
                if line[:1].isspace() or line.startswith("#") or "(" not in line:
                    continue
                key, params = line.strip().split("(", 1)
                name = key.rsplit(".", 1)[-1]
                sig = documented_signature(name, name + "(" + params)
                if sig is None:
                    sys.exit(f"gen_signatures: {path}: the signature of {key} is not valid Python")
                if found.get(name, sig) != sig:
                    sys.exit(f"gen_signatures: {path}: {name} has two different signatures")
                found[name] = sig
    return found


def signature(sources, name, function, flags, doc, spelled_out):
    if "METH_NOARGS" in flags:
        return "($self, /)"
    if "METH_O" in flags.split("|"):
        documented = documented_signature(name, doc)
        if documented and documented.count(",") == 1 and "*" not in documented:
            return documented[:-1] + ", /)"
        return "($self, value, /)"
    body = function_body(sources, function_name(function) or "")
    if "METH_KEYWORDS" in flags and body:
        # A method that hands its arguments to a shared helper: the helper parses them with
        # the keyword list the method declares.
        helper = re.search(r"(\w+)\s*(?:<[^;()]*>)?\s*\(\s*self\s*,\s*args\s*,\s*kwargs\b", body)
        if helper and not re.search(r"\b(parse_keywords|PyArg_ParseTupleAndKeywords)\s*\(", body):
            body = (function_body(sources, helper.group(1)) or "") + body
        sig = keyword_signature(body)
        if sig:
            return sig
    if name in spelled_out:
        return spelled_out[name]
    documented = documented_signature(name, doc)
    if documented:
        # Without METH_KEYWORDS every parameter is positional-only.
        return documented if "METH_KEYWORDS" in flags or "*" in documented else documented[:-1] + ", /)"
    return "($self, *args, **kwargs)" if "METH_KEYWORDS" in flags else "($self, *args)"


def main(output, paths):
    spelled_out = documented_signatures([p for p in paths if p.endswith(".txt")])
    sources = [strip_comments(open(p, encoding="utf-8").read()) for p in paths if not p.endswith(".txt")]
    tables = []
    for text in sources:
        anonymous = [(a.end() - 1, matching(text, a.end() - 1)) for a in re.finditer(r"\bnamespace\s*\{", text)]
        for m in TABLE.finditer(text):
            if m.group(1) or any(a < m.start() < b for a, b in anonymous):
                # Out of reach of the generated file: its methods keep no signature, which the
                # tests report.
                print(f"gen_signatures: {m.group(2)} is not visible outside its file", file=sys.stderr)
                continue
            start = m.end() - 1
            body = text[start + 1:matching(text, start) - 1]
            rows = [(name, signature(sources, name, fn, flags, doc, spelled_out)) for name, fn, flags, doc in table_entries(body)]
            tables.append((m.group(2), rows))
    tables.sort()
    # Constructors: the keywords of each type's initialiser.
    constructors = []
    for text in sources:
        for m in re.finditer(r"\b(\w+_type)\.tp_init\s*=\s*(\w+)\s*;", text):
            body = function_body(sources, m.group(2))
            sig = keyword_signature(body, bound=False) if body else None
            if sig:
                constructors.append((m.group(1), sig))
    # A type made by its tp_new alone takes the signature its docs key spells out ("expression()").
    signed = {type_name for type_name, _ in constructors}
    for text in sources:
        for m in re.finditer(r"\b(\w+_type)\.tp_name\s*=\s*\"kelvo\.(\w+)\"\s*;", text):
            sig = spelled_out.get(m.group(2))
            if m.group(1) not in signed and sig and re.search(rf"\b{m.group(1)}\.tp_new\s*=", text):
                constructors.append((m.group(1), re.sub(r"^\(\$self,?\s*", "(", sig)))
    constructors.sort()
    # One walk over the tables writes their declarations, their signatures and the index.
    externs, signatures, index = [], [], []
    for table, rows in tables:
        externs.append(f"extern PyMethodDef {table}[];")
        signatures.append(f"static const TextSignature {table}_signatures[] = {{")
        signatures += [f"    {{\"{name}\", \"{sig.replace(chr(34), chr(92) + chr(34))}\"}}," for name, sig in rows]
        signatures.append("    {nullptr, nullptr},\n};")
        index.append(f"    {{{table}, {table}_signatures}},")
    lines = ["// Generated by tools/gen_signatures.py from the extension's method tables; do not edit.",
             "#include \"module/signatures.h\"", "", "namespace kelvo {", ""]
    lines += externs + [""] + signatures + ["", "const SignedTable signed_tables[] = {"] + index
    lines.append("    {nullptr, nullptr},\n};\n")
    lines.append("const SignedType signed_types[] = {")
    for type_name, sig in constructors:
        lines.append(f"    {{&{type_name}, \"{sig.replace(chr(34), chr(92) + chr(34))}\"}},")
    lines.append("    {nullptr, nullptr},\n};\n\n}  // namespace kelvo\n")
    text = "\n".join(lines)
    try:
        if open(output, encoding="utf-8").read() == text:
            return
    except OSError:
        pass
    with open(output, "w", encoding="utf-8") as f:
        f.write(text)


if __name__ == "__main__":
    main(sys.argv[1], sys.argv[2:])
