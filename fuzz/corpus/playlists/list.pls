[playlist]
NumberOfEntries=2
File1=a.mp3
File2=/b.ogg
