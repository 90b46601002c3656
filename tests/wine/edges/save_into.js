// Downloads /bytes/<size> and saves it over the file named by the second
// argument with IfDelete true; prints "saved:<code>:<size on disk>".
// Run by tests/wine/drivers/wexlo_edges.sh.
var port = WScript.Arguments(0), target = WScript.Arguments(1);
var fso = new ActiveXObject("Scripting.FileSystemObject");
var d = new ActiveXObject("Wexlo.Downloader");
var out = "error";
try {
  d.StartUp("");
  d.Port = port;
  if (d.RequestFile("127.0.0.1", "/bytes/70000") == 0) {
    var start = new Date().getTime();
    while (d.Busy && new Date().getTime() - start < 20000) {}
    var code = d.WriteBinaryFile(target, true);
    out = "saved:" + code + ":" + fso.GetFile(target).Size;
  }
  d.ShutDown();
} catch (e) {
  out = "error 0x" + (e.number >>> 0).toString(16) + " " + e.description;
}
WScript.Echo(out);
