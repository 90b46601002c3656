// One measurement under Wine, from a script as a user writes it:
//   cscript //nologo wine_download.js MODE PORT PATH
// MODE wexlo:   Wexlo.Downloader, RequestFile then polling Busy; prints
//               "activation S" (server start and object creation),
//               "polling S" (RequestFile called until Busy is False), "bytes N".
// MODE small:   twenty downloads of a small file through one object; prints
//               "small S" for each (RequestFile called until Busy is False).
// MODE winhttp: the platform's WinHTTP request object; prints "winhttp S".
// MODE wexlo_https, winhttp_https: the same over HTTPS to localhost (the
//               prefix trusts the test CA); print "polling_https S",
//               "bytes_https N" and "winhttp_https S".
// MODE minimal: activation of the least out-of-process server
//               (minimal_server.exe); prints "activation_minimal S".
function now() { return new Date().getTime() / 1000; }
var host = "127.0.0.1";
function download(d, path) {
  var start = now();
  if (d.RequestFile(host, path) != 0) throw new Error("request refused");
  while (d.Busy) {}
  return now() - start;
}
try {
  var mode = WScript.Arguments(0), port = WScript.Arguments(1), path = WScript.Arguments(2);
  var https = /_https$/.test(mode), suffix = https ? "_https" : "";
  if (https) {
    host = "https://localhost";
    mode = mode.replace(/_https$/, "");
  }
  if (mode == "minimal") {
    var t0 = now();
    var m = new ActiveXObject("WexBench.MinimalServer");
    WScript.Echo("activation_minimal " + (now() - t0));
    m = null;
    CollectGarbage();
  } else if (mode == "winhttp") {
    var h = new ActiveXObject("WinHttp.WinHttpRequest.5.1");
    var t = now();
    h.Open("GET", (https ? "https://localhost:" : "http://127.0.0.1:") + port + path, false);
    h.Send();
    var body = h.ResponseBody;
    WScript.Echo("winhttp" + suffix + " " + (now() - t));
  } else {
    var t0 = now();
    var d = new ActiveXObject("Wexlo.Downloader");
    var t1 = now();
    d.StartUp("");
    d.Port = port;
    if (mode == "small") {
      for (var i = 0; i < 20; i++) WScript.Echo("small " + download(d, path));
    } else {
      if (!https) WScript.Echo("activation " + (t1 - t0));
      WScript.Echo("polling" + suffix + " " + download(d, path));
      WScript.Echo("bytes" + suffix + " " + d.CurSize);
    }
    d.ShutDown();
    d = null;  // released before Quit, which under Wine ends the host without releasing
  }
  WScript.Quit(0);
} catch (e) {
  WScript.Echo("failed " + e.message);
  WScript.Quit(1);
}
