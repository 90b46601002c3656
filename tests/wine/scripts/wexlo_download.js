// Wexlo.Downloader from JScript under cscript: a download polled through
// Busy, its size, its text, a saved text file and a rendered feed.

function main() {
  var shell = new ActiveXObject("WScript.Shell");
  var fso = new ActiveXObject("Scripting.FileSystemObject");
  var port = environment(shell, "WEX_HTTP_PORT");
  var scratch = environment(shell, "WEX_SCRATCH_DIR");
  var site = environment(shell, "WEX_SITE_DIR");

  var d = new ActiveXObject("Wexlo.Downloader");
  check(d.StartUp("") == 0, "StartUp");
  d.Port = port;

  check(d.RequestFile("127.0.0.1", "lines.txt") == 0, "RequestFile lines.txt");
  check(waitUntilIdle(d), "lines.txt finished");
  check(d.CurSize == 34, "CurSize " + d.CurSize);
  var text = "first line\r\nsecond line\r\n\r\nlast line\r\n";
  check(d.CurFileAsString == text, "CurFileAsString");

  var saved = scratch + "\\wexlo-js-lines.txt";
  check(d.WriteTextFile(saved, true) == 0, "WriteTextFile");
  var written = readFile(fso, saved);
  check(written == text || written == text + "\r\n", "saved text: " + written);
  check(d.WriteTextFile(saved, false) == 1, "WriteTextFile onto an existing file");
  fso.DeleteFile(saved);

  check(d.RequestFile("http://127.0.0.1", "/garden.xml") == 0, "RequestFile garden.xml");
  check(waitUntilIdle(d), "garden.xml finished");
  var expected = readFile(fso, site + "\\garden.expected.html");
  check(d.FormatCurRSS(10, true) == expected, "FormatCurRSS");
  var lines = expected.split("\r\n");
  var firstItem = [lines[0], lines[1], lines[2], lines[3], lines[5]].join("\r\n");
  check(d.FormatCurRSS(1, false) == firstItem, "FormatCurRSS one item without description");

  d.ShutDown();
  return failures;
}

finish(main);
