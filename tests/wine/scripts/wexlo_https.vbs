' Wexlo.Downloader over HTTPS from VBScript under cscript: the message of a
' refused secure connection comes back in FilePath, with its number.

Function Main()
  Dim shell, d, server, path, result
  Set shell = CreateObject("WScript.Shell")
  Set d = CreateObject("Wexlo.Downloader")
  Check d.StartUp("") = 0, "StartUp"

  d.Port = Environment(shell, "WEX_HTTPS_EXPIRED_PORT")
  server = "https://localhost" : path = "/garden.xml"
  result = d.RequestFile(server, path)
  Check result = 116, "expired gives " & result
  Check path = "Secure connection failed. Error number:-2146762495", "FilePath " & path

  d.Port = Environment(shell, "WEX_HTTPS_WRONGNAME_PORT")
  server = "https://localhost" : path = "/garden.xml"
  Check d.RequestFile(server, path) = 116, "wrong name gives 116"
  Check path = "Secure connection failed. Error number:-2146762481", "FilePath " & path

  d.Port = Environment(shell, "WEX_HTTPS_PLAIN_PORT")
  server = "https://localhost" : path = "/garden.xml"
  Check d.RequestFile(server, path) = 116, "plain HTTP gives 116"
  Check Left(path, 39) = "Secure connection failed. Error number:" And Len(path) > 39, "FilePath " & path

  d.ShutDown
  Main = failures
End Function

On Error Resume Next
Dim code : code = Main()
If Err.Number <> 0 Then
  WScript.Echo "FAIL uncaught: " & Err.Description & " (" & Err.Number & ")"
  WScript.Quit 1
End If
WScript.Quit code
