// Velmora.Browser from a script, without showing a dialog: the object is
// created by its ProgID and its Browser string keeps what is written to it.
var failures = 0;
function check(what, got, expected) {
  if (got !== expected) {
    WScript.Echo("FAIL " + what + ": got [" + got + "], expected [" + expected + "]");
    failures++;
  }
}
try {
  var browser = new ActiveXObject("Velmora.Browser");
  check("new object's Browser", browser.Browser, "");
  browser.Browser = "abc";
  check("Browser after writing abc", browser.Browser, "abc");
  var other = new ActiveXObject("Velmora.Browser");
  check("a second object's own Browser", other.Browser, "");
  check("the first object keeps its text", browser.Browser, "abc");
  browser.Browser = "";
  check("Browser after writing the empty string", browser.Browser, "");
} catch (e) {
  WScript.Echo("FAIL script error: " + e.message + " (" + e.number + ")");
  failures++;
}
WScript.Quit(failures == 0 ? 0 : 1);
