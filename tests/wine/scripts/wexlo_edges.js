// Wexlo.Downloader at its edges from JScript under cscript, which passes
// every argument by value: the text a member would write into an argument is
// dropped and its number returned, whatever the argument's type.

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

finish(main);
