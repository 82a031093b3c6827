using System.Reflection;
using System.Runtime.CompilerServices;

[assembly: AssemblyTitle("Asiochan")]
[assembly: AssemblyDescription("Channel-oriented multichannel audio through ASIO drivers: the .NET binding of asiochan")]
[assembly: AssemblyVersion("1.0.0.0")]
[assembly: InternalsVisibleTo("Asiochan.Tests")]
