// Wexlo.Downloader from JScript under cscript, polling Busy: a request the
// object refuses while a download runs, before connecting or at any step of
// its own connection, must leave that download to finish (Busy turns False
// once the server ends the response), and a response cut short of its
// promised length still ends the transfer, with what arrived.

function main() {
  var shell = new ActiveXObject("WScript.Shell");
  var port = environment(shell, "WEX_HTTP_PORT");
  var gate = "js" + new Date().getTime();

  var d = new ActiveXObject("Wexlo.Downloader");
  check(d.StartUp("") == 0, "StartUp");
  d.Port = port;

  // The fixture sends half the body, then holds the rest until released.
  check(d.RequestFile("127.0.0.1", "/gate/" + gate + "/1000") == 0, "RequestFile gate");
  check(d.Busy, "Busy while the response is held");
  var start = new Date().getTime();
  while (d.CurSize < 1000 && new Date().getTime() - start < 20000) {}
  check(d.RequestFile("", "/x") == 113, "empty server refused");
  check(d.RequestFile("127.0.0.1", "") == 114, "empty path refused");
  check(d.RequestFile("127.0.0.1\0.bank.example", "/x") == 112, "a server with a NUL refused");
  d.Port = 1;  // nothing listens there: the connect is refused
  check(d.RequestFile("127.0.0.1", "/x") == 110, "a refused connection");
  d.Port = port;
  check(d.Busy, "Busy after the refused requests");
  check(d.CurSize == 1000, "the held download's bytes kept: " + d.CurSize);

  // Another object (its own server process) opens the gate.
  var opener = new ActiveXObject("Wexlo.Downloader");
  check(opener.StartUp("") == 0, "StartUp of the opener");
  opener.Port = port;
  check(opener.RequestFile("127.0.0.1", "/release/" + gate) == 0, "RequestFile release");
  check(waitUntilIdle(opener), "release finished");
  opener.ShutDown();

  check(waitUntilIdle(d), "the held download finished after the refused requests");
  check(d.CurSize == 2000, "CurSize of the held download " + d.CurSize);
  check(d.CurFileAsString.length == 2000, "its text");

  // 200,000 of 1,000,000 promised bytes, then the server closes.
  check(d.RequestFile("127.0.0.1", "/short/1000000/200000") == 0, "RequestFile short");
  check(waitUntilIdle(d), "the short download finished");
  check(d.CurSize == 200000, "CurSize of the short download " + d.CurSize);

  d.ShutDown();
  return failures;
}

finish(main);
