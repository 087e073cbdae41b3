# Turns a message catalogue (po/LANG.po) into the entries of a C++ table,
# { "msgid", "msgstr" }, one a line: the catalogue's strings are C string
# literals already, so each line of a text is kept as one literal and the
# compiler joins them. The header (empty msgid) and texts without a
# translation are left out, as gettext leaves them.
#   awk -f cmake/po-table.awk po/en.po > table.inc
function flush() {
    if (id != "" && id != "\"\"" && str != "" && str !~ /^("")+$/) print "{" id ", " str "},"
    id = ""; str = ""; part = ""
}
/^msgid "/  { flush(); part = "id"; id = substr($0, 7); next }
/^msgstr "/ { part = "str"; str = substr($0, 8); next }
/^"/        { if (part == "id") id = id " " $0; else if (part == "str") str = str " " $0; next }
            { flush() }
END         { flush() }
