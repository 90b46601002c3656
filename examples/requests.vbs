' requests.vbs - the results of RequestFile and StartUp, and the message
' texts that Wexlo.Downloader writes back into the arguments.
'
'   cscript //nologo requests.vbs [server] [port]
'
' VBScript hands variables over by reference, so after a refused request the
' FilePath variable holds the message text (JScript passes copies and sees
' only the number). The server and port are those of a local web server; a
' port where nothing listens shows result 110.
Option Explicit

Dim server, port, d, rc, errText, path, status
server = "127.0.0.1" : port = 80
If WScript.Arguments.Count > 0 Then server = WScript.Arguments(0)
If WScript.Arguments.Count > 1 Then port = WScript.Arguments(1)
status = 0

Sub Show(label, result, text)
  WScript.Echo label & ": " & result & " """ & text & """"
End Sub

On Error Resume Next
Set d = CreateObject("Wexlo.Downloader")
If Err.Number <> 0 Then
  WScript.Echo "Wexlo.Downloader is not registered: " & Err.Description
  WScript.Quit 1
End If
On Error GoTo 0

' Before StartUp the socket library is not started: 109 and error 10093.
path = "/index.html"
rc = d.RequestFile(server, path)
Show "request before StartUp", rc, path

errText = "anything"
rc = d.StartUp(errText)               ' 0, and ErrString is emptied
Show "StartUp", rc, errText

path = "/index.html"
rc = d.RequestFile("", path)          ' 113: no server
Show "empty server", rc, path

path = ""
rc = d.RequestFile(server, path)      ' 114: no path
Show "empty path", rc, path

path = "/index.html"
rc = d.RequestFile("no-such-host.invalid", path)   ' 112: the name does not resolve
Show "unknown host", rc, path

d.Port = 1                            ' nothing listens on port 1: 110 and error 10061
path = "/index.html"
rc = d.RequestFile(server, path)
Show "refused port", rc, path

d.Port = port
path = "index.html"                   ' a "/" is put in front
rc = d.RequestFile("http://" & server, path)   ' "http://" is removed
Show "request", rc, path
If rc = 0 Then
  Dim deadline : deadline = Timer + 30
  Do While d.Busy And Timer < deadline : Loop
  WScript.Echo "downloaded " & d.CurSize & " bytes; Busy is now " & d.Busy
Else
  status = 1
End If

d.ShutDown
WScript.Quit status
