// Wexlo.Downloader at its edges from JScript under cscript, which passes
// every argument by value: the text a member would write into an argument is
// dropped and its number returned, whatever the argument's type.
var failures = 0;

function check(ok, what) {
  if (!ok) {
    WScript.Echo("FAIL " + what);
    failures++;
  }
}

function waitUntilIdle(d) {
  var start = new Date().getTime();
  while (d.Busy) {
    if (new Date().getTime() - start > 20000) return false;
  }
  return true;
}

function environment(shell, name) {
  return shell.ExpandEnvironmentStrings("%" + name + "%").replace(/\0/g, "");
}

// The call's result, or the automation error it raised as text.
function attempt(call) {
  try {
    return call();
  } catch (e) {
    return "error 0x" + (e.number >>> 0).toString(16) + " " + e.description;
  }
}

function main() {
  var shell = new ActiveXObject("WScript.Shell");
  var d = new ActiveXObject("Wexlo.Downloader");
  var r;

  r = attempt(function () { return d.StartUp(0); });
  check(r === 0, "StartUp(0): " + r);
  r = attempt(function () { return d.StartUp(null); });
  check(r === 0, "StartUp(null): " + r);
  r = attempt(function () { return d.StartUp(""); });
  check(r === 0, "StartUp(\"\"): " + r);

  r = attempt(function () { return d.RequestFile("", 5); });
  check(r === 113, "RequestFile(\"\", 5): " + r);
  r = attempt(function () { return d.RequestFile("", true); });
  check(r === 113, "RequestFile(\"\", true): " + r);
  r = attempt(function () { return d.RequestFile("", "/x"); });
  check(r === 113, "RequestFile(\"\", \"/x\"): " + r);
  r = attempt(function () { return d.RequestFile("127.0.0.1", ""); });
  check(r === 114, "RequestFile(server, \"\"): " + r);
  check(!d.Busy, "Busy after refusals");

  // A number as the path is a path ("/5") and the download runs as usual.
  d.Port = environment(shell, "WEX_HTTP_PORT");
  r = attempt(function () { return d.RequestFile("127.0.0.1", 5); });
  check(r === 0, "RequestFile(server, 5): " + r);
  check(waitUntilIdle(d), "the download of /5 finished");

  d.ShutDown();
  return failures;
}

var rc;
try {
  rc = main();
} catch (e) {
  WScript.Echo("FAIL uncaught: " + e.description + " (0x" + (e.number >>> 0).toString(16) + ")");
  rc = 1;
}
WScript.Quit(rc);
