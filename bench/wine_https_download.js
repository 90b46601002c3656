// Times one download over HTTPS through Wexlo.Downloader under Wine:
//   cscript //nologo wine_https_download.js PORT PATH
// Prints "https_download seconds" (RequestFile called, the handshake
// included, until Busy is False) and "https_bytes count".
function now() { return new Date().getTime() / 1000; }
try {
  var port = WScript.Arguments(0), path = WScript.Arguments(1);
  var d = new ActiveXObject("Wexlo.Downloader");
  d.StartUp("");
  d.Port = port;
  var t0 = now();
  var rc = d.RequestFile("https://localhost", path);
  if (rc != 0) throw new Error("request refused: " + rc);
  while (d.Busy) {}
  WScript.Echo("https_download " + (now() - t0));
  WScript.Echo("https_bytes " + d.CurSize);
  d.ShutDown();
  d = null;  // released before Quit, which under Wine ends the host without releasing
  WScript.Quit(0);
} catch (e) {
  WScript.Echo("failed " + e.message);
  WScript.Quit(1);
}
