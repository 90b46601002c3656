' news_events.vbs - the feed part of news_events.js in VBScript: the events
' go to the Subs named dl_OnConnect, dl_OnDisconnect and dl_OnDownloadFinish,
' and the script sleeps between looks at Busy.
'
'   cscript //nologo news_events.vbs [server] [port]
'
' It needs a host that connects events and sleeps (the Windows Script Host);
' in one that cannot, it says so: use news.js there.
Option Explicit

Dim server, port, d, rc, finished, deadline
server = "https://localhost" : port = ""
If WScript.Arguments.Count > 0 Then server = WScript.Arguments(0)
If WScript.Arguments.Count > 1 Then port = WScript.Arguments(1)
finished = False

' Wine's cscript ends at WScript.Quit without releasing what the script holds,
' which would leave Wexlo.exe running: the object is let go of first.
Sub Leave(code)
  Set d = Nothing
  WScript.Quit code
End Sub

Sub dl_OnConnect(ServerURL)
  WScript.Echo "Connected to " & ServerURL & "."
End Sub

Sub dl_OnDisconnect()
  WScript.Echo "Disconnected."
End Sub

Sub dl_OnDownloadFinish(ResponseCode, ResponseString)
  finished = (ResponseCode = 200)
  WScript.Echo "Finished: " & ResponseCode & " " & ResponseString & "."
End Sub

On Error Resume Next
Set d = WScript.CreateObject("Wexlo.Downloader", "dl_")
If Err.Number <> 0 Then
  WScript.Echo "This script host cannot connect events (error 0x" & Hex(Err.Number) & "); use news.js."
  Leave 2
End If
On Error GoTo 0

If d.StartUp("") <> 0 Then WScript.Echo "StartUp failed." : Leave 1
If port <> "" Then d.Port = port

rc = d.RequestFile(server, "/feeds/garden.xml")
If rc <> 0 Then WScript.Echo "RequestFile returned " & rc & "." : Leave 1
' Busy turns False once the OnDownloadFinish handlers have returned; the host
' delivers the events while the script sleeps.
deadline = DateAdd("s", 30, Now)
Do While d.Busy
  If Now > deadline Then WScript.Echo "The download did not finish in 30 s." : Leave 1
  WScript.Sleep 50
Loop
If Not finished Then WScript.Echo "The feed was not downloaded." : Leave 1

WScript.Echo d.FormatCurRSS(10, True)
d.ShutDown
Leave 0
