// Times one download through Wexlo.Downloader from a script under Wine:
//   cscript //nologo wine_download.js PORT PATH
// Prints "name seconds" lines: activation (the server process starting and
// creating the object), first_byte (RequestFile called until CurSize > 0),
// download (RequestFile called until Busy is False), bytes; then the same
// file through the platform's own WinHTTP request object.
function now() { return new Date().getTime() / 1000; }
try {
  var port = WScript.Arguments(0), path = WScript.Arguments(1);
  var t0 = now();
  var d = new ActiveXObject("Wexlo.Downloader");
  var t1 = now();
  d.StartUp("");
  d.Port = port;
  var t2 = now();
  if (d.RequestFile("127.0.0.1", path) != 0) throw new Error("request refused");
  var firstByte = -1;
  while (d.Busy) { if (firstByte < 0 && d.CurSize > 0) firstByte = now(); }
  var t3 = now();
  if (firstByte < 0) firstByte = t3;
  WScript.Echo("activation " + (t1 - t0));
  WScript.Echo("first_byte " + (firstByte - t2));
  WScript.Echo("download " + (t3 - t2));
  WScript.Echo("bytes " + d.CurSize);
  d.ShutDown();
  d = null;
  try {
    var h = new ActiveXObject("WinHttp.WinHttpRequest.5.1");
    var t4 = now();
    h.Open("GET", "http://127.0.0.1:" + port + path, false);
    h.Send();
    var body = h.ResponseBody;
    WScript.Echo("winhttp " + (now() - t4));
  } catch (e) {
    WScript.Echo("winhttp unavailable");
  }
  WScript.Quit(0);
} catch (e) {
  WScript.Echo("failed " + e.message);
  WScript.Quit(1);
}
