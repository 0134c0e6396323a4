// "ScriptControl": a small evaluator standing in for the platform's script engine.
//
// Members (lower case as the handle passes them):
//   "language"          read / write a text; only "JScript" (any letter case) runs
//                       scripts. Writing it drops every function defined so far.
//   "executestatement"  (statement text) compiles the function declarations the
//                       statement holds and defines them; fails, defining nothing,
//                       when the statement is anything else or the language is not
//                       JScript.
//   "run"               (name, further arguments ignored) calls the function of that
//                       exact, case-sensitive name and returns its text; fails when
//                       no such function exists or the language is not JScript.
//
// The statements compiled are sequences of declarations of this one form:
//
//   function NAME(){var VAR='LITERAL';return unescape(VAR);}
//
// with any white space (and line terminators) between tokens, except between
// "return" and "unescape", where a line terminator would end the return statement.
// The literal may use single or double quotes; the semicolon after the return
// statement may be left out; empty statements (";") may stand between
// declarations. NAME and VAR are ASCII identifiers (letters, digits, "_", "$", not
// starting with a digit), neither a reserved word nor "unescape". A later
// declaration of a name replaces an earlier one.
//
// The literal is read by the ECMAScript rules for string literals: \' \" \\ \b \f
// \n \r \t \v, \xHH, \uHHHH, the legacy octal escapes \0 to \377, and a backslash
// before any other character standing for that character (\8 and \9 included).
// A line terminator (LF, CR, U+2028, U+2029) inside the literal, also right after
// a backslash, \x or \u without their hex digits (\u{...} included), and a literal
// that does not end are compile errors. unescape decodes "%uXXXX" and "%XX"
// (ASCII hex digits, either case) and keeps every other "%".
//
// Compiling and running take time linear in the length of the text.
#pragma once

#include <memory>

#include "automation/server.h"

namespace automation {

std::shared_ptr<Server> make_script_control();

}  // namespace automation
