// Wexlo.Downloader over HTTPS from JScript under cscript: a feed from the
// suite's HTTPS fixture (its test CA trusted by this prefix only) polled
// through Busy and rendered, a binary body byte for byte, and the refusals.

function main() {
  var shell = new ActiveXObject("WScript.Shell");
  var fso = new ActiveXObject("Scripting.FileSystemObject");
  var site = environment(shell, "WEX_SITE_DIR");

  var d = new ActiveXObject("Wexlo.Downloader");
  check(d.StartUp("") == 0, "StartUp");
  d.Port = environment(shell, "WEX_HTTPS_PORT");

  check(d.RequestFile("https://localhost", "/garden.xml") == 0, "RequestFile https garden.xml");
  check(waitUntilIdle(d), "garden.xml finished");
  var expected = readFile(fso, site + "\\garden.expected.html");
  check(d.FormatCurRSS(10, true) == expected, "FormatCurRSS over HTTPS");

  check(d.RequestFile("https://localhost", "/split/bytes/8193") == 0, "RequestFile split");
  check(waitUntilIdle(d), "split finished");
  check(d.CurSize == 8193, "CurSize " + d.CurSize);

  // "HTTPS://" in capitals is no scheme: the whole text is a name.
  check(d.RequestFile("HTTPS://localhost", "/garden.xml") == 112, "capitals give 112");

  d.Port = environment(shell, "WEX_HTTPS_UNTRUSTED_PORT");
  check(d.RequestFile("https://localhost", "/garden.xml") == 116, "untrusted gives 116");
  check(!d.Busy, "not busy after a refusal");

  d.ShutDown();
  return failures;
}

finish(main);
