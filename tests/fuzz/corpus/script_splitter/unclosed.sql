SELECT 'open text; 
GO
/* open comment;
GO
[open; name
GO
