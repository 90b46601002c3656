// One measurement under Wine, from a script as a user writes it:
//   cscript //nologo wine_download.js MODE PORT PATH
// MODE wexlo:   Wexlo.Downloader, RequestFile then polling Busy; prints
//               "activation S" (server start and object creation),
//               "polling S" (RequestFile called until Busy is False), "bytes N".
// MODE small:   twenty downloads of a small file through one object; prints
//               "small S" for each (RequestFile called until Busy is False).
// MODE winhttp: the platform's WinHTTP request object; prints "winhttp S".
function now() { return new Date().getTime() / 1000; }
function download(d, path) {
  var start = now();
  if (d.RequestFile("127.0.0.1", path) != 0) throw new Error("request refused");
  while (d.Busy) {}
  return now() - start;
}
try {
  var mode = WScript.Arguments(0), port = WScript.Arguments(1), path = WScript.Arguments(2);
  if (mode == "winhttp") {
    var h = new ActiveXObject("WinHttp.WinHttpRequest.5.1");
    var t = now();
    h.Open("GET", "http://127.0.0.1:" + port + path, false);
    h.Send();
    var body = h.ResponseBody;
    WScript.Echo("winhttp " + (now() - t));
  } else {
    var t0 = now();
    var d = new ActiveXObject("Wexlo.Downloader");
    var t1 = now();
    d.StartUp("");
    d.Port = port;
    if (mode == "small") {
      for (var i = 0; i < 20; i++) WScript.Echo("small " + download(d, path));
    } else {
      WScript.Echo("activation " + (t1 - t0));
      WScript.Echo("polling " + download(d, path));
      WScript.Echo("bytes " + d.CurSize);
    }
    d.ShutDown();
    d = null;  // released before Quit, which under Wine ends the host without releasing
  }
  WScript.Quit(0);
} catch (e) {
  WScript.Echo("failed " + e.message);
  WScript.Quit(1);
}
