# Turns mbrtu's usage text (the output of mbrtu --help) into the sections of
# its manual page, so that the page says what --help says:
#   - the command forms of the first paragraph make the SYNOPSIS;
#   - a paragraph led by a word in capitals and two spaces (ADDRESS, LINK, ...)
#     is an entry of OPTIONS;
#   - a paragraph led by a command name is an entry of DESCRIPTION, as is
#     plain text;
#   - the text from "Exit status:" to the end of its paragraph is EXIT STATUS.
# Lines that start with spaces continue the paragraph above them.
#   awk -v intro=FILE -f usage2man.awk     (FILE: the DESCRIPTION's first paragraph)

function roff(s) {
    gsub(/\\/, "\\e", s)
    gsub(/-/, "\\-", s)    # no line breaks inside an option or a range
    sub(/^[ \t]+/, "", s)
    if (s ~ /^[.']/)
        s = "\\&" s
    return s
}

# Ends the paragraph being collected and files it under its section.
function flush() {
    if (kind == "")
        return
    if (kind == "TP")
        body[section] = body[section] ".TP\n.B " roff(term) "\n" text
    else
        body[section] = body[section] ".PP\n" text
    kind = ""; text = ""
}

function start(newKind, newSection, newTerm, first) {
    flush()
    kind = newKind; section = newSection; term = newTerm
    text = first == "" ? "" : roff(first) "\n"
}

BEGIN { paragraph = 1; forms = 0 }

/^[ \t]*$/ { flush(); paragraph++; next }

paragraph == 1 {
    line = $0
    sub(/^usage:/, "", line)
    if (line ~ /^[ \t]*mbrtu( |$)/) {
        sub(/^[ \t]*mbrtu ?/, "", line)
        synopsis[++forms] = roff(line)
        split(line, words, " ")
        if (words[1] ~ /^[a-z]+$/)
            command[words[1]] = 1
    } else {
        synopsis[forms] = synopsis[forms] " " roff(line)
    }
    next
}

/^[ \t]/ { text = text roff($0) "\n"; next }

/^Exit status:/ {
    rest = $0
    sub(/^Exit status:[ \t]*/, "", rest)
    start("PP", "EXIT STATUS", "", rest)
    next
}

/^[A-Z][A-Z]+  / {
    rest = $0
    sub(/^[A-Z]+[ \t]+/, "", rest)
    start("TP", "OPTIONS", $1, rest)
    next
}

$1 in command {
    rest = $0
    sub(/^[a-z]+[ \t]+/, "", rest)
    start("TP", "DESCRIPTION", "mbrtu " $1, rest)
    next
}

{
    # Plain text continues plain text; otherwise it opens a paragraph.
    if (kind != "PP")
        start("PP", "DESCRIPTION", "", "")
    text = text roff($0) "\n"
}

END {
    flush()
    print ".SH SYNOPSIS"
    for (i = 1; i <= forms; i++)
        printf "%s.B mbrtu\n%s\n", (i > 1 ? ".br\n" : ""), synopsis[i]
    print ".SH DESCRIPTION"
    while ((getline line < intro) > 0)
        print line
    printf "%s", body["DESCRIPTION"]
    print ".SH OPTIONS"
    printf "%s", body["OPTIONS"]
    print ".SH EXIT STATUS"
    printf "%s", body["EXIT STATUS"]
}
